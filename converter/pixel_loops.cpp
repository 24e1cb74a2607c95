#include "pixel_loops.h"

namespace m32tga {

// The shuffles vectorise only with SSSE3 or AVX2; on x86-64 the loader picks the best
// copy the processor runs, and other compilers and processors get the plain loops.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__ELF__)
#define PIXEL_LOOP __attribute__((target_clones("avx2", "ssse3", "default")))
#else
#define PIXEL_LOOP
#endif

PIXEL_LOOP void RgbaToBgr(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels) {
  for (std::size_t i = 0; i < pixels; ++i) {
    dst[3 * i + 0] = src[4 * i + 2];
    dst[3 * i + 1] = src[4 * i + 1];
    dst[3 * i + 2] = src[4 * i + 0];
  }
}

PIXEL_LOOP void SwapRedAndBlue(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels) {
  for (std::size_t i = 0; i < pixels; ++i) {
    dst[4 * i + 0] = src[4 * i + 2];
    dst[4 * i + 1] = src[4 * i + 1];
    dst[4 * i + 2] = src[4 * i + 0];
    dst[4 * i + 3] = src[4 * i + 3];
  }
}

PIXEL_LOOP void BgrToRgba(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels) {
  constexpr std::uint8_t kOpaque = 255;
  for (std::size_t i = 0; i < pixels; ++i) {
    dst[4 * i + 0] = src[3 * i + 2];
    dst[4 * i + 1] = src[3 * i + 1];
    dst[4 * i + 2] = src[3 * i + 0];
    dst[4 * i + 3] = kOpaque;
  }
}

PIXEL_LOOP void AverageSquares(const std::uint8_t* __restrict top, const std::uint8_t* __restrict bottom,
                               std::uint8_t* __restrict out, std::uint8_t* __restrict mixed, std::size_t squares) {
  for (std::size_t x = 0; x < squares; ++x) {
    for (std::size_t c = 0; c < 4; ++c) {
      const unsigned sum = top[8 * x + c] + top[8 * x + 4 + c] + bottom[8 * x + c] + bottom[8 * x + 4 + c];
      out[4 * x + c] = static_cast<std::uint8_t>((sum + 2) >> 2);
    }
  }
  for (std::size_t x = 0; x < squares; ++x) {
    const std::uint8_t alpha = top[8 * x + 3];
    mixed[x] =
        static_cast<std::uint8_t>((alpha ^ top[8 * x + 7]) | (alpha ^ bottom[8 * x + 3]) | (alpha ^ bottom[8 * x + 7]));
  }
}

}  // namespace m32tga
