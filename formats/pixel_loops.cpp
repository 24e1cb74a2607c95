#include "formats/pixel_loops.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace formats {

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

// Inlined into a copy per instruction set: clang makes no copies of a template.
template <std::size_t kBytes>
[[gnu::always_inline]] inline void Repeat(const std::uint8_t* __restrict pixel, std::size_t count,
                                          std::uint8_t* __restrict to) {
  for (std::size_t i = 0; i < count; ++i) {
    for (std::size_t b = 0; b < kBytes; ++b) to[i * kBytes + b] = pixel[b];
  }
}

PIXEL_LOOP void Repeat1(const std::uint8_t* __restrict pixel, std::size_t count, std::uint8_t* __restrict to) {
  Repeat<1>(pixel, count, to);
}
PIXEL_LOOP void Repeat2(const std::uint8_t* __restrict pixel, std::size_t count, std::uint8_t* __restrict to) {
  Repeat<2>(pixel, count, to);
}
PIXEL_LOOP void Repeat3(const std::uint8_t* __restrict pixel, std::size_t count, std::uint8_t* __restrict to) {
  Repeat<3>(pixel, count, to);
}
PIXEL_LOOP void Repeat4(const std::uint8_t* __restrict pixel, std::size_t count, std::uint8_t* __restrict to) {
  Repeat<4>(pixel, count, to);
}

// Where channel `c` of an RGBA pixel read as a word sits in it.
constexpr unsigned ChannelShift(unsigned c) { return 8 * (std::endian::native == std::endian::little ? c : 3 - c); }

// The 2 x 2 block of square `x`, its pixels as words: with shifts and masks the loops
// over blocks vectorise, a pixel a lane.
inline std::array<std::uint32_t, 4> Square(const std::uint8_t* top, const std::uint8_t* bottom, std::size_t x) {
  std::array<std::uint32_t, 4> pixels{};
  std::memcpy(&pixels[0], top + 8 * x, 4);
  std::memcpy(&pixels[1], top + 8 * x + 4, 4);
  std::memcpy(&pixels[2], bottom + 8 * x, 4);
  std::memcpy(&pixels[3], bottom + 8 * x + 4, 4);
  return pixels;
}

inline std::uint32_t AlphaSum(const std::array<std::uint32_t, 4>& pixels) {
  std::uint32_t sum = 0;
  for (const std::uint32_t pixel : pixels) sum += pixel >> ChannelShift(3) & 0xFF;
  return sum;
}

PIXEL_LOOP void AverageSquaresLoop(const std::uint8_t* __restrict top, const std::uint8_t* __restrict bottom,
                                   std::uint8_t* __restrict out, std::size_t squares) {
  constexpr std::uint32_t kByte = 0xFF;
  constexpr unsigned kAlphaShift = ChannelShift(3);
  for (std::size_t x = 0; x < squares; ++x) {
    const std::array<std::uint32_t, 4> pixels = Square(top, bottom, x);
    const std::uint32_t alphaSum = AlphaSum(pixels);
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

PIXEL_LOOP void AverageSquaresByTablesLoop(const std::uint8_t* __restrict top, const std::uint8_t* __restrict bottom,
                                           std::uint8_t* __restrict out, std::size_t squares,
                                           const std::uint32_t* __restrict decode,
                                           const std::uint32_t* __restrict encode) {
  constexpr std::uint32_t kByte = 0xFF;
  constexpr unsigned kAlphaShift = ChannelShift(3);
  for (std::size_t x = 0; x < squares; ++x) {
    const std::array<std::uint32_t, 4> pixels = Square(top, bottom, x);
    const std::uint32_t alphaSum = AlphaSum(pixels);
    const std::uint32_t transparent = alphaSum == 0 ? 1 : 0;
    const std::uint32_t weightSum = alphaSum + 4 * transparent;
    // The sums reach 2^28, past a float's exact integers; a double holds them, and its
    // quotient is cut to the exact whole one as AverageSquaresLoop's is.
    const double twiceWeightSum = static_cast<double>(2 * weightSum);
    std::uint32_t average = (alphaSum + 2) >> 2 << kAlphaShift;
    for (unsigned c = 0; c < 3; ++c) {
      std::uint32_t weighed = 0;
      for (const std::uint32_t pixel : pixels)
        weighed += decode[pixel >> ChannelShift(c) & kByte] * ((pixel >> kAlphaShift & kByte) + transparent);
      const double quotient = static_cast<double>(2 * weighed + weightSum) / twiceWeightSum;
      average |= encode[static_cast<std::uint32_t>(static_cast<std::int32_t>(quotient))] << ChannelShift(c);
    }
    std::memcpy(out + 4 * x, &average, 4);
  }
}

// A filtered byte's cost: its distance from 0 read as a signed byte.
inline std::uint32_t Cost(std::uint8_t value) { return value < 128 ? value : 256u - value; }

// Each filter is a loop of its own, so that each vectorises; the bytes of the first
// pixel, which have nothing to their left, are done apart.
PIXEL_LOOP std::uint32_t NoFilterLoop(const std::uint8_t* __restrict row, std::size_t bytes,
                                      std::uint8_t* __restrict out) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    out[i] = row[i];
    sum += Cost(row[i]);
  }
  return sum;
}

PIXEL_LOOP std::uint32_t SubLoop(const std::uint8_t* __restrict row, const std::uint8_t* __restrict left,
                                 std::size_t bytes, std::uint8_t* __restrict out) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    out[i] = static_cast<std::uint8_t>(row[i] - left[i]);
    sum += Cost(out[i]);
  }
  return sum;
}

PIXEL_LOOP std::uint32_t UpLoop(const std::uint8_t* __restrict row, const std::uint8_t* __restrict above,
                                std::size_t bytes, std::uint8_t* __restrict out) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    out[i] = static_cast<std::uint8_t>(row[i] - above[i]);
    sum += Cost(out[i]);
  }
  return sum;
}

PIXEL_LOOP std::uint32_t AverageLoop(const std::uint8_t* __restrict row, const std::uint8_t* __restrict left,
                                     const std::uint8_t* __restrict above, std::size_t bytes,
                                     std::uint8_t* __restrict out) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    out[i] = static_cast<std::uint8_t>(row[i] - ((left[i] + above[i]) >> 1));
    sum += Cost(out[i]);
  }
  return sum;
}

PIXEL_LOOP std::uint32_t PaethLoop(const std::uint8_t* __restrict row, const std::uint8_t* __restrict left,
                                   const std::uint8_t* __restrict above, const std::uint8_t* __restrict upperLeft,
                                   std::size_t bytes, std::uint8_t* __restrict out) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    const std::int16_t a = left[i], b = above[i], c = upperLeft[i];
    // The distances of left + above - upper left to left, above and upper left.
    const std::int16_t toLeft = static_cast<std::int16_t>(b > c ? b - c : c - b);
    const std::int16_t toAbove = static_cast<std::int16_t>(a > c ? a - c : c - a);
    const std::int16_t both = static_cast<std::int16_t>(a + b - 2 * c);
    const std::int16_t toUpperLeft = static_cast<std::int16_t>(both < 0 ? -both : both);
    const std::int16_t nearer = toAbove <= toUpperLeft ? b : c;
    const std::int16_t prediction = toLeft <= toAbove && toLeft <= toUpperLeft ? a : nearer;
    out[i] = static_cast<std::uint8_t>(row[i] - prediction);
    sum += Cost(out[i]);
  }
  return sum;
}

}  // namespace

void AverageSquaresByTables(const std::uint8_t* __restrict top, const std::uint8_t* __restrict bottom,
                            std::uint8_t* __restrict out, std::size_t squares, const std::uint32_t* __restrict decode,
                            const std::uint32_t* __restrict encode) {
  AverageSquaresByTablesLoop(top, bottom, out, squares, decode, encode);
}

std::uint32_t FilterPngRow(unsigned type, const std::uint8_t* __restrict row, const std::uint8_t* __restrict above,
                           std::size_t bytes, std::size_t pixelBytes, std::uint8_t* __restrict out) {
  if (type == 0) return NoFilterLoop(row, bytes, out);
  if (type == 2) return UpLoop(row, above, bytes, out);
  // The first pixel's neighbours to the left are 0: Sub and Paeth leave it as it is
  // (Paeth then predicts from above), Average halves what is above.
  const std::size_t first = std::min(pixelBytes, bytes);
  const std::size_t rest = bytes - first;
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < first; ++i) {
    const unsigned prediction = type == 1 ? 0u : type == 3 ? above[i] / 2u : above[i];
    out[i] = static_cast<std::uint8_t>(row[i] - prediction);
    sum += Cost(out[i]);
  }
  if (type == 1) return sum + SubLoop(row + first, row, rest, out + first);
  if (type == 3) return sum + AverageLoop(row + first, row, above + first, rest, out + first);
  return sum + PaethLoop(row + first, row, above + first, above, rest, out + first);
}

void RgbaToBgr(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels) {
  RgbaToBgrLoop(src, dst, pixels);
}

void SwapRedAndBlue(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels) {
  SwapRedAndBlueLoop(src, dst, pixels);
}

void BgrToRgba(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, std::size_t pixels) {
  BgrToRgbaLoop(src, dst, pixels);
}

void RepeatPixel(const std::uint8_t* __restrict pixel, unsigned bytes, std::size_t count, std::uint8_t* __restrict to) {
  switch (bytes) {
    case 1: return Repeat1(pixel, count, to);
    case 2: return Repeat2(pixel, count, to);
    case 3: return Repeat3(pixel, count, to);
    default: return Repeat4(pixel, count, to);
  }
}

void AverageSquares(const std::uint8_t* __restrict top, const std::uint8_t* __restrict bottom,
                    std::uint8_t* __restrict out, std::size_t squares) {
  AverageSquaresLoop(top, bottom, out, squares);
}

}  // namespace formats
