// The loops that touch every pixel: between the m32's RGBA and a TGA's byte orders, and
// the first step down the mip chain.
#pragma once

#include <cstddef>
#include <cstdint>

namespace m32tga {

// What the converter reads, encodes or writes at a time, and the most rows it holds.
inline constexpr std::size_t kChunkBytes = std::size_t{256} * 1024;

// Red, green, blue, alpha to blue, green, red.
void RgbaToBgr(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels);
// Red and blue trade places, both ways: RGBA to BGRA and BGRA to RGBA.
void SwapRedAndBlue(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels);
// Blue, green, red to red, green, blue and an opaque alpha.
void BgrToRgba(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels);

// Each pixel of `out` the average, rounded to the nearest, of a 2 x 2 block of RGBA
// pixels: two from `top`, the two below them from `bottom`. Alpha is averaged as stored
// and colour weighed by alpha, except where all four alphas are 0.
void AverageSquares(const std::uint8_t* __restrict top, const std::uint8_t* __restrict bottom,
                    std::uint8_t* __restrict out, std::size_t squares);

}  // namespace m32tga
