// m32 files for the preview tests: textures whose every pixel can be told apart, and
// the ways a file can be damaged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "m32write.h"

namespace preview_testing {

// Red, green and blue each change along a different direction and alpha takes many
// values, so a swapped channel, a flipped row or a premultiplied colour shows.
m32write::RgbaImage Varied(std::uint32_t width, std::uint32_t height);

// Each quarter of the image one colour: red top left, green top right, blue at half
// alpha bottom left, white bottom right.
m32write::RgbaImage Quarters(std::uint32_t width, std::uint32_t height);

std::vector<std::uint8_t> M32Bytes(const m32write::RgbaImage& image);
void WriteM32(const std::string& path, const m32write::RgbaImage& image);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Whether the pixel is the RGBA value at (x, y) of `image`, every channel within `slack`.
bool PixelMatches(unsigned argb, const m32write::RgbaImage& image, std::uint32_t x, std::uint32_t y, int slack = 0);

// How many pixels of a picture, pixelAt(x, y) as ARGB, differ from those of `image`.
template <class PixelAt>
int WrongPixels(const m32write::RgbaImage& image, PixelAt pixelAt) {
  int wrong = 0;
  for (std::uint32_t y = 0; y < image.height; ++y) {
    for (std::uint32_t x = 0; x < image.width; ++x) wrong += !PixelMatches(pixelAt(x, y), image, x, y);
  }
  return wrong;
}

// A texture whose every mip level is one flat colour of its own, LevelColour(level) as
// ARGB, so that a picture shows which level it was read from.
std::vector<std::uint8_t> FlatLevels(std::uint32_t width, std::uint32_t height);
unsigned LevelColour(std::size_t level);

struct Damage {
  std::string name;
  std::vector<std::uint8_t> bytes;
  std::string reason;  // a piece of the message that must name what is wrong
};

// A good texture spoilt in each way a reader must refuse.
std::vector<Damage> DamagedTextures();

}  // namespace preview_testing
