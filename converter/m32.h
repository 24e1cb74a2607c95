// Reading an m32 texture: the layout is described at the top of m32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace m32tga {

// Four bytes per pixel, red, green, blue, alpha; rows top-down, no padding.
struct ImageView {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::span<const std::uint8_t> rgba;
};

inline constexpr std::size_t kM32HeaderBytes = 968;
inline constexpr std::size_t kM32BytesPerPixel = 4;  // red, green, blue, alpha

// A TGA's sides are 16-bit, so no larger image is converted.
inline constexpr std::uint32_t kMaxSide = 65535;

// Whether rows first .. first + count - 1 lie inside an image `height` rows tall.
constexpr bool RowsWithin(std::size_t first, std::size_t count, std::uint64_t height) {
  return first <= height && count <= height - first;
}

// Where level 0's pixels lie in the file: width * height * 4 bytes from `offset`.
struct Level0 {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint64_t offset = 0;
};

struct HeaderResult {
  Level0 level0;
  std::string error;  // empty when level 0 lies wholly inside the file
  bool Ok() const { return error.empty(); }
};

// Checks the first kM32HeaderBytes of a file (all of it when shorter) against the file's
// size, so that the pixels can then be read a piece at a time without looking again.
HeaderResult CheckM32Header(std::span<const std::uint8_t> header, std::uint64_t fileSize);

struct DecodeResult {
  ImageView image;
  std::string error;  // empty when the image is valid
  bool Ok() const { return error.empty(); }
};

// Checks the header and level 0 against the bytes given; the image views into them.
DecodeResult DecodeM32(std::span<const std::uint8_t> file);

}  // namespace m32tga
