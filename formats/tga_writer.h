// Writing an uncompressed true-colour TGA: the layout is described at the top of tga_writer.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "formats/image.h"
#include "formats/pixel_loops.h"

namespace formats {

enum class TgaDepth { kBgr24, kBgra32 };

// The fixed parts of a TGA: the header, and the TGA 2.0 footer that may end the file,
// two u32 offsets then the signature.
inline constexpr std::size_t kTgaHeaderBytes = 18;
inline constexpr std::uint8_t kTgaTrueColourType = 2;  // the image type of uncompressed colour
// Where the header's fields lie, for the writer and the reader alike.
inline constexpr std::size_t kTgaIdLengthAt = 0;
inline constexpr std::size_t kTgaMapTypeAt = 1;
inline constexpr std::size_t kTgaImageTypeAt = 2;
inline constexpr std::size_t kTgaMapFirstAt = 3;
inline constexpr std::size_t kTgaMapLengthAt = 5;
inline constexpr std::size_t kTgaMapEntryBitsAt = 7;
inline constexpr std::size_t kTgaWidthAt = 12;
inline constexpr std::size_t kTgaHeightAt = 14;
inline constexpr std::size_t kTgaDepthAt = 16;
inline constexpr std::size_t kTgaDescriptorAt = 17;
inline constexpr std::string_view kTgaSignature{"TRUEVISION-XFILE.\0", 18};
inline constexpr std::size_t kTgaFooterOffsetBytes = 8;
inline constexpr std::size_t kTgaFooterBytes = kTgaFooterOffsetBytes + kTgaSignature.size();

// Streams the image as a TGA into the sink, bottom row first; false when the source
// failed to give a block or the sink refused a piece.
bool WriteTga(ImageSize size, PixelRows& pixels, TgaDepth depth, ByteSink& sink);

}  // namespace formats
