// The tests' own writer of m32 and TGA files, made from the formats' descriptions and
// sharing no code with the converter, so that a fault both sides share cannot hide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace image_files {

using Bytes = std::vector<std::uint8_t>;

// Four bytes per pixel, red, green, blue, alpha; rows top-down.
struct RgbaImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  Bytes rgba;
};

// Where the m32 header keeps its fields (all little-endian).
inline constexpr std::size_t kHeaderBytes = 968;
inline constexpr std::size_t kVersionAt = 0;
inline constexpr std::size_t kWidthsAt = 516;
inline constexpr std::size_t kHeightsAt = 580;
inline constexpr std::size_t kOffsetsAt = 644;
inline constexpr std::uint32_t kVersion = 4;
inline constexpr std::size_t kMaxLevels = 16;

void PutU32(Bytes& bytes, std::size_t at, std::uint32_t value);
std::uint32_t U32(const Bytes& bytes, std::size_t at);

// The next mip level: each pixel the alpha-weighted average of the block of up to 2 x 2
// above it (a plain average where the block is transparent), an odd last row or column
// joining the block before it; rounded to the nearest.
RgbaImage HalfSize(const RgbaImage& image);

// The whole texture as the converter writes it: the header with `name`, version, sides,
// offsets and scales 1.0, then every level from the image down to 1 x 1, one after another.
Bytes EncodeM32(const RgbaImage& level0, std::string_view name);

struct TgaFormat {
  std::uint8_t type = 2;  // 1, 2 or 3; 9, 10 or 11 run-length encoded
  unsigned depth = 32;    // bits per pixel
  unsigned mapEntryBits = 0;
  std::uint16_t mapFirst = 0;
  unsigned alphaBits = 8;
  bool topFirst = false;
  bool rightToLeft = false;
  bool packetsCrossRows = true;
  std::string imageId = {};
  bool footer = false;
  std::optional<std::uint8_t> attributesType = {};  // an extension area with this attributes type
};

// The image stored as `format` says. Colour-mapped files take the image's distinct colours
// as their map, so the image must have few; grey files store red as the grey.
Bytes MakeTga(const RgbaImage& image, const TgaFormat& format);
// The 26-byte TGA 2.0 footer naming the extension area's offset (0 for none).
Bytes TgaFooter(std::uint32_t extensionAt);

// Every channel changes from pixel to pixel, so a swapped channel, a flipped row or a
// dropped pixel shows; alpha runs through all 256 values.
RgbaImage VariedImage(std::uint32_t width, std::uint32_t height);
// Up to a dozen colours that 5-bit channels hold exactly, alpha 0 or 255, with uniform
// rows at top and bottom so that runs cross row ends however the rows are stored.
RgbaImage FewColourImage(std::uint32_t width, std::uint32_t height);

Bytes ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const Bytes& bytes);

}  // namespace image_files
