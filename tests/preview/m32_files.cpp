#include "m32_files.h"

#include <cstdlib>
#include <fstream>

namespace preview_testing {
namespace {

constexpr std::uint32_t kTooWide = 70000;

void PutPixel(m32write::RgbaImage& image, std::uint32_t x, std::uint32_t y, std::vector<std::uint8_t> rgba) {
  std::copy(rgba.begin(), rgba.end(), image.rgba.begin() + (std::size_t{y} * image.width + x) * 4);
}

std::vector<std::uint8_t> WithU32(std::vector<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
  m32write::PutU32(bytes, at, value);
  return bytes;
}

}  // namespace

m32write::RgbaImage Varied(std::uint32_t width, std::uint32_t height) {
  m32write::RgbaImage image{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4)};
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      PutPixel(image, x, y,
               {static_cast<std::uint8_t>(x * 11 + 3), static_cast<std::uint8_t>(y * 23 + 5),
                static_cast<std::uint8_t>(250 - (x + y) * 7), static_cast<std::uint8_t>(x * 13 + y * 37)});
    }
  }
  return image;
}

m32write::RgbaImage Quarters(std::uint32_t width, std::uint32_t height) {
  m32write::RgbaImage image{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4)};
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const bool right = x >= width / 2;
      const bool bottom = y >= height / 2;
      if (!bottom)
        PutPixel(image, x, y,
                 right ? std::vector<std::uint8_t>{0, 255, 0, 255} : std::vector<std::uint8_t>{255, 0, 0, 255});
      if (bottom)
        PutPixel(image, x, y,
                 right ? std::vector<std::uint8_t>{255, 255, 255, 255} : std::vector<std::uint8_t>{0, 0, 255, 128});
    }
  }
  return image;
}

std::vector<std::uint8_t> M32Bytes(const m32write::RgbaImage& image) {
  return m32write::EncodeM32(image, "textures/test/preview");
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteM32(const std::string& path, const m32write::RgbaImage& image) { WriteBytes(path, M32Bytes(image)); }

bool PixelMatches(unsigned argb, const m32write::RgbaImage& image, std::uint32_t x, std::uint32_t y, int slack) {
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

std::vector<std::uint8_t> FlatLevels(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> bytes = M32Bytes(Varied(width, height));
  const auto field = [&](std::size_t at) {
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 | std::uint32_t{bytes[at + 2]} << 16 |
           std::uint32_t{bytes[at + 3]} << 24;
  };
  for (std::size_t level = 0; level < m32write::kMaxLevels; ++level) {
    const unsigned argb = LevelColour(level);
    const std::size_t pixels =
        std::size_t{field(m32write::kWidthsAt + 4 * level)} * field(m32write::kHeightsAt + 4 * level);
    for (std::size_t at = field(m32write::kOffsetsAt + 4 * level), end = at + pixels * 4; at < end; at += 4) {
      for (int channel = 0; channel < 4; ++channel) {
        bytes[at + channel] = static_cast<std::uint8_t>(argb >> (channel == 3 ? 24 : 16 - 8 * channel));
      }
    }
  }
  return bytes;
}

std::vector<Damage> DamagedTextures() {
  const std::vector<std::uint8_t> good = M32Bytes(Varied(6, 5));
  std::vector<std::uint8_t> cut = good;
  cut.resize(m32write::kHeaderBytes + 6 * 5 * 4 - 1);  // level 0 one byte short
  return {
      {"empty", {}, "empty file"},
      {"short", std::vector<std::uint8_t>(good.begin(), good.begin() + 100), "too short"},
      {"version", WithU32(good, m32write::kVersionAt, 5), "version 5"},
      {"no width", WithU32(good, m32write::kWidthsAt, 0), "no image"},
      {"too wide", WithU32(good, m32write::kWidthsAt, kTooWide), "too large"},
      {"truncated", cut, "truncated"},
      {"offset past end", WithU32(good, m32write::kOffsetsAt, static_cast<std::uint32_t>(good.size() + 1)),
       "past the end"},
  };
}

}  // namespace preview_testing
