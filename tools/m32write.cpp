#include "m32write.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "m32.h"

namespace m32write {
namespace {

constexpr std::size_t kNameAt = 4;
constexpr std::size_t kNameBytes = 128;  // NUL-padded, so 127 characters at most
using m32tga::kM32BytesPerPixel;
using m32tga::kMaxSide;

std::size_t PixelBytes(const RgbaImage& image) { return std::size_t{image.width} * image.height * kM32BytesPerPixel; }

std::vector<RgbaImage> MipChain(const RgbaImage& level0) {
  std::vector<RgbaImage> levels{level0};
  while (levels.size() < kMaxLevels && (levels.back().width > 1 || levels.back().height > 1)) {
    levels.push_back(HalfSize(levels.back()));
  }
  return levels;
}

std::uint8_t AverageOfBlock(const RgbaImage& image, std::uint32_t x0, std::uint32_t y0, std::size_t channel) {
  const std::uint32_t x1 = std::min(x0 + 2, image.width);
  const std::uint32_t y1 = std::min(y0 + 2, image.height);
  unsigned sum = 0;
  unsigned count = 0;
  for (std::uint32_t y = y0; y < y1; ++y) {
    for (std::uint32_t x = x0; x < x1; ++x) {
      sum += image.rgba[(std::size_t{y} * image.width + x) * kM32BytesPerPixel + channel];
      ++count;
    }
  }
  return static_cast<std::uint8_t>((sum + count / 2) / count);
}

}  // namespace

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i) & 0xFF);
  }
}

RgbaImage HalfSize(const RgbaImage& image) {
  RgbaImage half{std::max(image.width / 2, 1u), std::max(image.height / 2, 1u), {}};
  half.rgba.resize(PixelBytes(half));
  std::size_t out = 0;
  for (std::uint32_t y = 0; y < half.height; ++y) {
    for (std::uint32_t x = 0; x < half.width; ++x) {
      for (std::size_t channel = 0; channel < kM32BytesPerPixel; ++channel) {
        half.rgba[out++] = AverageOfBlock(image, 2 * x, 2 * y, channel);
      }
    }
  }
  return half;
}

std::vector<std::uint8_t> EncodeM32(const RgbaImage& level0, std::string_view name) {
  if (level0.width == 0 || level0.height == 0 || level0.width > kMaxSide || level0.height > kMaxSide ||
      level0.rgba.size() != PixelBytes(level0)) {
    throw std::invalid_argument("m32 level 0 must be 1..65,535 a side with all pixels");
  }
  const std::vector<RgbaImage> levels = MipChain(level0);
  std::vector<std::uint8_t> file(kHeaderBytes);
  PutU32(file, kVersionAt, static_cast<std::uint32_t>(kVersion));
  std::copy_n(name.begin(), std::min(name.size(), kNameBytes - 1), file.begin() + kNameAt);
  for (std::size_t i = 0; i < levels.size(); ++i) {
    PutU32(file, kWidthsAt + 4 * i, levels[i].width);
    PutU32(file, kHeightsAt + 4 * i, levels[i].height);
    if (file.size() > UINT32_MAX) throw std::length_error("m32 offsets are 32-bit");
    PutU32(file, kOffsetsAt + 4 * i, static_cast<std::uint32_t>(file.size()));
    file.insert(file.end(), levels[i].rgba.begin(), levels[i].rgba.end());
  }
  return file;
}

}  // namespace m32write
