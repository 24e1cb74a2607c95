// Writing an m32 texture from level 0's rows: the header, then every mip level down to
// 1 x 1, built a few rows at a time. The layout is described at the top of m32.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/image.h"
#include "formats/m32.h"

namespace formats {

using M32Header = std::array<std::uint8_t, kM32HeaderBytes>;

// Where each level of an m32 goes: level 0 right after the header, each smaller level
// (sides halved, rounding down, never below 1) right after the one before, to 1 x 1.
struct M32Layout {
  std::vector<MipLevel> levels;
  std::uint64_t fileSize = 0;
  std::string error;  // empty when the file can be written
};

// A side halved for the next mip level: rounded down, never below 1.
constexpr std::uint32_t HalfSide(std::uint32_t side) { return side > 1 ? side / 2 : 1; }

// The rows (or columns) of a side that make up block `index` of the side below: 2, or 3
// for the last block of an odd side, and 1 for a side of 1.
std::uint32_t BlockSpan(std::uint32_t side, std::uint32_t index);

// The levels of any of the textures: level 0 at its offset, each smaller level right
// after the one before, `pixelBytes` a pixel, down to 1 x 1 or `mostLevels` levels (at
// least one). The error is left to the format, which knows its limits.
M32Layout ChainLevels(MipLevel level0, std::uint64_t pixelBytes, std::size_t mostLevels);

// Sides of at least 1 and at most 65,535; the whole file must stay within the 32-bit
// offsets the header holds. At most `mostLevels` levels (at least level 0).
M32Layout LayOutM32(std::uint32_t width, std::uint32_t height, std::size_t mostLevels = kM32Levels);

// Version 4, the name (cut to the 127 bytes the field holds), scales of 1.0 and the
// other fields 0; no levels yet.
M32Header DefaultM32Header(std::string_view name);

// Writes the layout's widths, heights and offsets into the header, and 0 for the
// levels it does not have; every other field is left as it was.
void PutLevels(const M32Layout& layout, M32Header& header);

// How the pixels of a 2 x 2 block come to one: their bytes averaged as stored, as the
// game's own tools did, or their colours decoded from sRGB to linear light first and
// the average encoded back, so that fine detail keeps the brightness the eye sees.
enum class MipAverage { kPlain, kLinear };

// Takes level 0's rows, top row first, writes each where the layout puts it and builds
// the smaller levels as rows arrive. Each pixel of a level is the average of the 2 x 2
// block above it (3 wide or high where the side above is odd and the block is the last
// one), rounded to the nearest. Alpha is averaged as stored; colour is weighed by alpha,
// so that what is transparent does not bleed into what shows, except in a block whose
// alphas are all equal, where both come to the plain average. Memory: three rows and a
// write buffer for each level.
class M32Writer {
 public:
  M32Writer(const M32Layout& layout, PositionedSink& sink, MipAverage average = MipAverage::kPlain);
  ~M32Writer();
  M32Writer(const M32Writer&) = delete;
  M32Writer& operator=(const M32Writer&) = delete;

  // The next row of level 0, width * 4 bytes RGBA; false when the sink refused a write
  // or every row was already given.
  bool AddRow(std::span<const std::uint8_t> rgba);
  // Where the next row of level 0 can be filled in, so that AddRow of it copies nothing;
  // empty when the sink refused a write or every row was already given.
  std::span<std::uint8_t> NextRow();
  // After the last row: writes what is still buffered; false when rows are missing or
  // the sink refused.
  bool Finish();

 private:
  class Level;
  std::vector<std::unique_ptr<Level>> levels_;
  PositionedSink& sink_;
  bool failed_ = false;
};

// One row of the next level from the 1 to 3 rows of a block row above it.
void HalveRows(std::span<const std::uint8_t* const> rows, std::uint32_t width, std::span<std::uint8_t> half,
               MipAverage average = MipAverage::kPlain);

}  // namespace formats
