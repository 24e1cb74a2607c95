// The loops that touch every pixel: between the m32's RGBA and a TGA's byte orders, and
// the first step down the mip chain.
#pragma once

#include <cstddef>
#include <cstdint>

namespace formats {

// What the converter reads, encodes or writes at a time, and the most rows it holds.
inline constexpr std::size_t kChunkBytes = std::size_t{256} * 1024;

// How many RGBA rows of `width` pixels a block of kChunkBytes holds: one at least.
constexpr std::size_t RowsPerBlock(std::uint32_t width) {
  const std::size_t rowBytes = std::size_t{width} * 4;
  return rowBytes >= kChunkBytes ? 1 : kChunkBytes / rowBytes;
}

// Red, green, blue, alpha to blue, green, red.
void RgbaToBgr(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels);
// Red and blue trade places, both ways: RGBA to BGRA and BGRA to RGBA.
void SwapRedAndBlue(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels);
// Blue, green, red to red, green, blue and an opaque alpha.
void BgrToRgba(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels);

// `count` copies of a pixel of `bytes` bytes (1 to 4), one after the other: a
// run-length packet's run.
void RepeatPixel(const std::uint8_t* __restrict pixel, unsigned bytes, std::size_t count, std::uint8_t* __restrict to);

// Each pixel of `out` the average, rounded to the nearest, of a 2 x 2 block of RGBA
// pixels: two from `top`, the two below them from `bottom`. Alpha is averaged as stored
// and colour weighed by alpha, except where all four alphas are 0.
void AverageSquares(const std::uint8_t* __restrict top, const std::uint8_t* __restrict bottom,
                    std::uint8_t* __restrict out, std::size_t squares);

// The same averages of 2 x 2 blocks through tables: each colour value `decode`d, the
// four averaged (weighed by alpha as above) and rounded to the nearest whole number,
// which is `encode`d back. `decode` gives at most 65,535, and `encode` has an entry for
// every value up to that.
void AverageSquaresByTables(const std::uint8_t* __restrict top, const std::uint8_t* __restrict bottom,
                            std::uint8_t* __restrict out, std::size_t squares, const std::uint32_t* __restrict decode,
                            const std::uint32_t* __restrict encode);

// PNG's filters: 0 none, 1 Sub, 2 Up, 3 Average, 4 Paeth.
inline constexpr unsigned kPngFilters = 5;

// Writes `bytes` bytes of `row` less their prediction under PNG filter `type` from the
// bytes `pixelBytes` to the left and those of the row `above`, and returns the sum of
// the results' absolute values read as signed bytes: the cost libpng weighs filters by.
std::uint32_t FilterPngRow(unsigned type, const std::uint8_t* __restrict row, const std::uint8_t* __restrict above,
                           std::size_t bytes, std::size_t pixelBytes, std::uint8_t* __restrict out);

}  // namespace formats
