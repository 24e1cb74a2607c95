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

struct DecodeResult {
    ImageView image;
    std::string error;  // empty when the image is valid
    bool ok() const { return error.empty(); }
};

// Checks the header and level 0 against the bytes given; the image views into them.
DecodeResult decode_m32(std::span<const std::uint8_t> file);

}  // namespace m32tga
