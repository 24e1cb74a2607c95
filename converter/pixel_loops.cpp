#include "pixel_loops.h"

#include <array>
#include <bit>
#include <cstring>

namespace m32tga {

namespace {

// The shuffles vectorise only with SSSE3 or later; on x86-64 the loader picks the best
// copy the processor runs, and other compilers and processors get the plain loops. The
// copies are made of functions that nothing outside this file declares: clang compiles a
// function declared plain elsewhere as one copy for the first target, whatever the
// processor. Instruction sets are named by feature, which both compilers test as such.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__ELF__)
#define PIXEL_LOOP __attribute__((target_clones("avx2", "ssse3", "default")))
#else
#define PIXEL_LOOP
#endif

PIXEL_LOOP void RgbaToBgrLoop(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels) {
  for (std::size_t i = 0; i < pixels; ++i) {
    dst[3 * i + 0] = src[4 * i + 2];
    dst[3 * i + 1] = src[4 * i + 1];
    dst[3 * i + 2] = src[4 * i + 0];
  }
}

PIXEL_LOOP void SwapRedAndBlueLoop(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst,
                                   std::size_t pixels) {
  for (std::size_t i = 0; i < pixels; ++i) {
    dst[4 * i + 0] = src[4 * i + 2];
    dst[4 * i + 1] = src[4 * i + 1];
    dst[4 * i + 2] = src[4 * i + 0];
    dst[4 * i + 3] = src[4 * i + 3];
  }
}

PIXEL_LOOP void BgrToRgbaLoop(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels) {
  constexpr std::uint8_t kOpaque = 255;
  for (std::size_t i = 0; i < pixels; ++i) {
    dst[4 * i + 0] = src[3 * i + 2];
    dst[4 * i + 1] = src[3 * i + 1];
    dst[4 * i + 2] = src[3 * i + 0];
    dst[4 * i + 3] = kOpaque;
  }
}

// Where channel `c` of an RGBA pixel read as a word sits in it.
constexpr unsigned ChannelShift(unsigned c) { return 8 * (std::endian::native == std::endian::little ? c : 3 - c); }

PIXEL_LOOP void AverageSquaresLoop(const std::uint8_t* __restrict top, const std::uint8_t* __restrict bottom,
                                   std::uint8_t* __restrict out, std::size_t squares) {
  constexpr std::uint32_t kByte = 0xFF;
  constexpr unsigned kAlphaShift = ChannelShift(3);
  for (std::size_t x = 0; x < squares; ++x) {
    // Whole pixels as words: with shifts and masks the loop vectorises, a pixel a lane.
    std::array<std::uint32_t, 4> pixels{};
    std::memcpy(&pixels[0], top + 8 * x, 4);
    std::memcpy(&pixels[1], top + 8 * x + 4, 4);
    std::memcpy(&pixels[2], bottom + 8 * x, 4);
    std::memcpy(&pixels[3], bottom + 8 * x + 4, 4);
    std::uint32_t alphaSum = 0;
    for (const std::uint32_t pixel : pixels) alphaSum += pixel >> kAlphaShift & kByte;
    // A block wholly transparent weighs its pixels the same, so that it keeps its colour.
    const std::uint32_t transparent = alphaSum == 0 ? 1 : 0;
    const std::uint32_t weightSum = alphaSum + 4 * transparent;
    // The weighed average rounded to the nearest: (2n + w) / 2w, cut to an integer. The
    // quotient is at most 256 and, unless whole, at least 1 / 2w from a whole number, far
    // more than a float's rounding error, so the float division gives the exact one.
    // With all alphas equal it comes to the plain average.
    const float twiceWeightSum = static_cast<float>(2 * weightSum);
    std::uint32_t average = (alphaSum + 2) >> 2 << kAlphaShift;
    for (unsigned c = 0; c < 3; ++c) {
      std::uint32_t weighed = 0;
      for (const std::uint32_t pixel : pixels)
        weighed += (pixel >> ChannelShift(c) & kByte) * ((pixel >> kAlphaShift & kByte) + transparent);
      const float quotient = static_cast<float>(2 * weighed + weightSum) / twiceWeightSum;
      average |= static_cast<std::uint32_t>(static_cast<std::int32_t>(quotient)) << ChannelShift(c);
    }
    std::memcpy(out + 4 * x, &average, 4);
  }
}

}  // namespace

void RgbaToBgr(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels) {
  RgbaToBgrLoop(src, dst, pixels);
}

void SwapRedAndBlue(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels) {
  SwapRedAndBlueLoop(src, dst, pixels);
}

void BgrToRgba(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels) {
  BgrToRgbaLoop(src, dst, pixels);
}

void AverageSquares(const std::uint8_t* __restrict top, const std::uint8_t* __restrict bottom,
                    std::uint8_t* __restrict out, std::size_t squares) {
  AverageSquaresLoop(top, bottom, out, squares);
}

}  // namespace m32tga
