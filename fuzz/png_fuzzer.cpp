// libFuzzer target: any bytes through the PNG reader and, when it reads every row, the
// PNG writer (of whatever kind the pixels call for) and the reader once more, and a
// palette image's indices through its palette. The sanitizers catch every out-of-bounds
// access; the checks below catch a writer or reader that loses or changes a pixel, or an
// index given past the palette.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "formats/png_reader.h"
#include "formats/png_writer.h"
#include "formats/tga_reader.h"
#include "memory_file.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Every row, or nothing when the reader refused the file somewhere.
Bytes ReadAll(std::span<const std::uint8_t> png, formats::ImageSize& size) {
  formats::MemorySource source(png);
  formats::PngReader reader(source);
  MemoryStore interlacedRows;
  reader.KeepRowsIn(interlacedRows, 0);
  size = {reader.Width(), reader.Height()};
  Bytes rgba(std::size_t{size.width} * size.height * 4);
  const std::size_t rowBytes = std::size_t{size.width} * 4;
  for (std::uint32_t y = 0; y < size.height; ++y) {
    if (!reader.ReadRow(std::span(rgba).subspan(y * rowBytes, rowBytes))) return {};
  }
  return reader.Error().empty() ? rgba : Bytes{};
}

// A palette image's indices, each through the palette it gives with them, by a reader
// of their own; nothing for any other image or when a row cannot be read.
Bytes ColouredIndices(std::span<const std::uint8_t> png) {
  formats::MemorySource source(png);
  formats::PngReader reader(source);
  MemoryStore interlacedRows;
  reader.KeepRowsIn(interlacedRows, 0);
  const std::span<const std::uint8_t> palette = reader.PaletteColours();
  if (palette.empty()) return {};
  Bytes rgba, indices(reader.Width());
  for (std::uint32_t y = 0; y < reader.Height(); ++y) {
    if (!reader.ReadIndexRow(indices)) return {};
    for (const std::uint8_t index : indices) {
      if (std::size_t{index} * 3 + 3 > palette.size()) __builtin_trap();  // past the palette, yet given
      rgba.insert(rgba.end(), {palette[index * 3], palette[index * 3 + 1], palette[index * 3 + 2], 0});
    }
  }
  return reader.Error().empty() ? rgba : Bytes{};
}

class Pixels final : public formats::PixelRows {
 public:
  Pixels(const Bytes& rgba, std::size_t rowBytes) : rgba_(rgba), rowBytes_(rowBytes) {}
  std::span<const std::uint8_t> Rows(std::size_t first, std::size_t count) override {
    return std::span(rgba_).subspan(first * rowBytes_, count * rowBytes_);
  }

 private:
  const Bytes& rgba_;
  std::size_t rowBytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  formats::ImageSize shape;
  const Bytes rgba = ReadAll({data, size}, shape);
  if (rgba.empty()) return 0;
  Bytes indexed = ColouredIndices({data, size});
  for (std::size_t at = 3; at < indexed.size(); at += 4) indexed[at] = rgba[at];  // the palette gives no alpha
  if (!indexed.empty() && indexed != rgba) __builtin_trap();
  Pixels pixels(rgba, std::size_t{shape.width} * 4);
  MemorySink png;
  // Either way, so that every kind of PNG is written: with alpha kept, and the smallest.
  if (!formats::WritePng(shape, pixels, size % 2 == 0, png)) __builtin_trap();
  formats::ImageSize again;
  if (ReadAll(png.bytes, again) != rgba) __builtin_trap();
  return 0;
}
