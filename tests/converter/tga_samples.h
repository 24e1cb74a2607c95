// TGA files made for the tests, written from the format's description alone, in every
// type, depth and origin the converter reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "m32write.h"

struct TgaFormat {
  std::uint8_t type = 2;  // 1, 2 or 3; 9, 10 or 11 run-length encoded
  unsigned depth = 32;    // bits per pixel
  unsigned mapEntryBits = 0;
  std::uint16_t mapFirst = 0;
  unsigned alphaBits = 8;
  bool topFirst = false;
  bool rightToLeft = false;
  bool packetsCrossRows = true;
  std::string imageId;
  bool footer = false;
  std::optional<std::uint8_t> attributesType;  // an extension area with this attributes type
};

std::string Describe(const TgaFormat& format);

// The image stored as `format` says. Colour-mapped files take the image's distinct colours
// as their map, so the image must have few; grey files store red as the grey.
std::vector<std::uint8_t> MakeTga(const m32write::RgbaImage& image, const TgaFormat& format);

// 0..31 to 0..255, and back, to the nearest.
std::uint8_t FiveToEight(unsigned value);
unsigned EightToFive(std::uint8_t value);

// Up to a dozen colours that 5-bit channels hold exactly, alpha 0 or 255, with uniform
// rows at top and bottom so that runs cross row ends however the rows are stored.
m32write::RgbaImage FewColourImage(std::uint32_t width, std::uint32_t height);
// Grey (red = green = blue) with alpha running through many values.
m32write::RgbaImage GreyImage(std::uint32_t width, std::uint32_t height);

// The 26-byte TGA 2.0 footer naming the extension area's offset (0 for none).
std::vector<std::uint8_t> TgaFooter(std::uint32_t extensionAt);
