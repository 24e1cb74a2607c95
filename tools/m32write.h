// Writing m32 textures the way the usual tools lay them out: the 968-byte header, then
// level 0 at byte 968, then each smaller level (halved, down to 1 x 1) after the last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace m32write {

// Four bytes per pixel, red, green, blue, alpha; rows top-down.
struct RgbaImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;
};

// Where the header keeps the fields a reader checks (all little-endian).
inline constexpr std::size_t kHeaderBytes = 968;
inline constexpr std::size_t kVersionAt = 0;
inline constexpr std::size_t kWidthsAt = 516;
inline constexpr std::size_t kHeightsAt = 580;
inline constexpr std::size_t kOffsetsAt = 644;
inline constexpr std::int32_t kVersion = 4;
inline constexpr std::size_t kMaxLevels = 16;

// Each output pixel is the average of the (up to) four pixels it covers.
RgbaImage HalfSize(const RgbaImage& image);

// The whole file: header naming the texture, and every mip level of the image.
std::vector<std::uint8_t> EncodeM32(const RgbaImage& level0, std::string_view name);

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value);

}  // namespace m32write
