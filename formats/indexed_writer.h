// Writing the levels of an 8-bit texture (m8, WAL) from level 0's rows, a few rows at a
// time: each smaller level averaged from the true colour of the level above it, and only
// then mapped to the palette, never averaged from indices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "formats/image.h"
#include "formats/m32_writer.h"
#include "formats/nearest_colour.h"
#include "formats/reference_levels.h"

namespace formats {

struct IndexedOptions {
  bool dither = false;  // error diffusion in place of the nearest colour
  MipAverage average = MipAverage::kPlain;
};

// Takes level 0's rows, top row first, and writes every level of `layout` (the header is
// the caller's) through the sink. Alpha is dropped: a pixel is its colour as stored.
//
// With a reference of the same size, level 0 is kept as lossless as the input allows: a
// pixel whose colour is that of the reference's index at the same place keeps that index
// (reserved or not), and when every index of level 0 comes out as the reference's, the
// reference's own smaller levels are written in place of those made here (when it has
// as many, of the same sides). Memory: three rows of true colour, a write buffer and,
// when dithering, two rows of error for each level.
class IndexedWriter {
 public:
  IndexedWriter(const M32Layout& layout, PositionedSink& sink, NearestColour& nearest, IndexedOptions options,
                ReferenceLevels* reference = nullptr);
  ~IndexedWriter();
  IndexedWriter(const IndexedWriter&) = delete;
  IndexedWriter& operator=(const IndexedWriter&) = delete;

  // The next row of level 0 in true colour, width * 4 bytes RGBA; false when a write or
  // the reference failed, or every row was already given.
  bool AddRow(std::span<const std::uint8_t> rgba);
  // The next row of level 0 as indices of the palette, written as they are; the smaller
  // levels are made from their colours.
  bool AddIndexRow(std::span<const std::uint8_t> indices);
  // After the last row: writes what is still buffered, and the reference's smaller
  // levels when level 0 came out as the reference's; false when rows are missing or a
  // write or the reference failed.
  bool Finish();

  // Whether the reference's smaller levels were written.
  bool KeptReferenceLevels() const { return kept_; }
  // Why the reference failed, if it did; a write that failed is the sink's to tell.
  const std::string& ReferenceError() const;

 private:
  class Level;
  bool Add(std::span<const std::uint8_t> rgba, const std::uint8_t* given);

  std::vector<MipLevel> shapes_;
  std::vector<std::unique_ptr<Level>> levels_;
  PositionedSink& sink_;
  const Palette& palette_;
  ReferenceLevels* reference_;  // null unless of level 0's sides
  std::vector<std::uint8_t> colours_;
  bool level0AsReference_ = true;
  bool kept_ = false;
  bool failed_ = false;
};

// The whole file: the header (its levels already put), then every level of `layout` from
// the image's rows. Empty when written; otherwise why not.
std::string WriteIndexed(RowReader& image, const M32Layout& layout, std::span<const std::uint8_t> header,
                         PositionedSink& out, NearestColour& nearest, IndexedOptions options,
                         ReferenceLevels* reference = nullptr);

}  // namespace formats
