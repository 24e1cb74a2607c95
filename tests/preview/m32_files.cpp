#include "m32_files.h"

#include <cstdlib>

namespace preview_testing {

using namespace image_files;

RgbaImage Quarters(std::uint32_t width, std::uint32_t height) {
  RgbaImage image{width, height, {}};
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const bool right = x >= width / 2;
      const bool bottom = y >= height / 2;
      const Bytes colours[2][2] = {{{255, 0, 0, 255}, {0, 255, 0, 255}}, {{0, 0, 255, 128}, {255, 255, 255, 255}}};
      image.rgba.insert(image.rgba.end(), colours[bottom][right].begin(), colours[bottom][right].end());
    }
  }
  return image;
}

Bytes M32Bytes(const RgbaImage& image) { return EncodeM32(image, "textures/test/preview"); }

void WriteM32(const std::string& path, const RgbaImage& image) { WriteBytes(path, M32Bytes(image)); }

bool PixelMatches(unsigned argb, const RgbaImage& image, std::uint32_t x, std::uint32_t y, int slack) {
  const std::uint8_t* rgba = &image.rgba[(std::size_t{y} * image.width + x) * 4];
  const int seen[] = {static_cast<int>(argb >> 16 & 0xFF), static_cast<int>(argb >> 8 & 0xFF),
                      static_cast<int>(argb & 0xFF), static_cast<int>(argb >> 24)};
  for (int channel = 0; channel < 4; ++channel) {
    if (std::abs(seen[channel] - rgba[channel]) > slack) return false;
  }
  return true;
}

unsigned LevelColour(std::size_t level) {
  const auto step = static_cast<unsigned>(level) * 25;
  return 0xFF000000u | step % 256 << 16 | (255 - step % 256) << 8 | step * 3 % 256;
}

Bytes FlatLevels(std::uint32_t width, std::uint32_t height) {
  Bytes bytes = M32Bytes(VariedImage(width, height));
  for (std::size_t level = 0; level < kMaxLevels; ++level) {
    const unsigned argb = LevelColour(level);
    const std::size_t pixels = std::size_t{U32(bytes, kWidthsAt + 4 * level)} * U32(bytes, kHeightsAt + 4 * level);
    for (std::size_t at = U32(bytes, kOffsetsAt + 4 * level), end = at + pixels * 4; at < end; at += 4) {
      for (int channel = 0; channel < 4; ++channel) {
        bytes[at + channel] = static_cast<std::uint8_t>(argb >> (channel == 3 ? 24 : 16 - 8 * channel));
      }
    }
  }
  return bytes;
}

Bytes Truncated() {
  Bytes bytes = M32Bytes(VariedImage(6, 5));
  bytes.resize(kHeaderBytes + 6 * 5 * 4 - 1);
  return bytes;
}

}  // namespace preview_testing
