// One TGA image to one m32 texture.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <utility>

#include "m32_writer.h"
#include "tga.h"

namespace m32tga {

// Fills the next row from the top; empty when it did, otherwise why not.
using RowFiller = std::function<std::string(std::span<std::uint8_t>)>;

// Reads the image's rows top first and writes them with every mip level, averaged as
// `average` says; `header` gives every field but the levels' sides and offsets. Empty
// when all was written, otherwise why not.
std::string WriteM32Rows(ImageSize size, const RowFiller& nextRow, M32Header header, PositionedSink& out,
                         MipAverage average);

// The same from a TGA or PNG reader already opened without error.
template <typename Reader>
std::string WriteM32(Reader& image, M32Header header, PositionedSink& out, MipAverage average = MipAverage::kPlain) {
  const RowFiller nextRow = [&](std::span<std::uint8_t> row) {
    if (image.ReadRow(row)) return std::string();
    return image.Error().empty() ? std::string("the image ends before its last row") : image.Error();
  };
  return WriteM32Rows({image.Width(), image.Height()}, nextRow, std::move(header), out, average);
}

}  // namespace m32tga
