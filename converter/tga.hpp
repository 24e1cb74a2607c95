// Writing an uncompressed true-colour TGA: the layout is described at the top of tga.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "m32.hpp"

namespace m32tga {

enum class TgaDepth { kBgr24, kBgra32 };

// Where encoded bytes go, a piece at a time; false stops the encoder.
class ByteSink {
public:
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;

protected:
    ~ByteSink() = default;
};

// The encoder's working buffer; the encoder hands the sink pieces no larger than this.
inline constexpr std::size_t kTgaChunkBytes = std::size_t{256} * 1024;

// Streams the image as a TGA into the sink; false when the sink refused a piece.
bool write_tga(const ImageView& image, TgaDepth depth, ByteSink& sink);

// The whole TGA in memory.
std::vector<std::uint8_t> encode_tga(const ImageView& image, TgaDepth depth);

}  // namespace m32tga
