// m32 files for the preview tests: textures whose pictures show where each pixel and
// each mip level came from. Written with the tests' one writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/image_files.h"

namespace preview_testing {

using image_files::Bytes;
using image_files::RgbaImage;

// Each quarter of the image one colour: red top left, green top right, blue at half
// alpha bottom left, white bottom right.
RgbaImage Quarters(std::uint32_t width, std::uint32_t height);

Bytes M32Bytes(const RgbaImage& image);
void WriteM32(const std::string& path, const RgbaImage& image);

// Whether the pixel is the RGBA value at (x, y) of `image`, every channel within `slack`.
bool PixelMatches(unsigned argb, const RgbaImage& image, std::uint32_t x, std::uint32_t y, int slack = 0);

// How many pixels of a picture, pixelAt(x, y) as ARGB, differ from those of `image`.
template <class PixelAt>
int WrongPixels(const RgbaImage& image, PixelAt pixelAt) {
  int wrong = 0;
  for (std::uint32_t y = 0; y < image.height; ++y) {
    for (std::uint32_t x = 0; x < image.width; ++x) wrong += !PixelMatches(pixelAt(x, y), image, x, y);
  }
  return wrong;
}

// A texture whose every mip level is one flat colour of its own, LevelColour(level) as
// ARGB, so that a picture shows which level it was read from.
Bytes FlatLevels(std::uint32_t width, std::uint32_t height);
unsigned LevelColour(std::size_t level);

// A texture whose level 0 ends a byte early: every reader refuses it as truncated.
Bytes Truncated();

}  // namespace preview_testing
