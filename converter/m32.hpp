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

// Where level 0's pixels lie in the file: width * height * 4 bytes from `offset`.
struct Level0 {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint64_t offset = 0;
};

struct HeaderResult {
    Level0 level0;
    std::string error;  // empty when level 0 lies wholly inside the file
    bool ok() const { return error.empty(); }
};

// Checks the first kM32HeaderBytes of a file (all of it when shorter) against the file's
// size, so that the pixels can then be read a piece at a time without looking again.
HeaderResult check_m32_header(std::span<const std::uint8_t> header, std::uint64_t file_size);

struct DecodeResult {
    ImageView image;
    std::string error;  // empty when the image is valid
    bool ok() const { return error.empty(); }
};

// Checks the header and level 0 against the bytes given; the image views into them.
DecodeResult decode_m32(std::span<const std::uint8_t> file);

}  // namespace m32tga
