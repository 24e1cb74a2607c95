// The parts of the TGA reader: what the header says, checked against the file. The
// layout is described at the top of tga_header.cpp. For the reader's own files only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "formats/m32.h"
#include "formats/tga_writer.h"
#include "system/number_text.h"

namespace formats::tga {

inline constexpr std::uint8_t kRunLengthTypeBit = 8;
inline constexpr std::uint8_t kAlphaBitsMask = 0x0F;
inline constexpr std::uint8_t kRightToLeftBit = 0x10;
inline constexpr std::uint8_t kTopFirstBit = 0x20;
inline constexpr std::uint8_t kInterleavingBits = 0xC0;

inline constexpr std::uint64_t kExtensionBytes = 495;
inline constexpr std::size_t kAttributesTypeAt = 494;
inline constexpr std::uint8_t kUsefulAlpha = 3;
inline constexpr std::uint8_t kPremultipliedAlpha = 4;

inline constexpr std::uint8_t kPacketRunBit = 0x80;
inline constexpr std::uint8_t kPacketCountMask = 0x7F;
inline constexpr std::uint64_t kMostPixelsInAPacket = kPacketCountMask + 1;
inline constexpr std::size_t kMaxPixelBytes = 4;
inline constexpr std::size_t kRgbaBytes = kM32BytesPerPixel;
inline constexpr std::uint8_t kOpaque = 255;

enum class Kind { kMapped = 1, kTrueColour = kTgaTrueColourType, kGrey = 3 };

inline std::uint16_t U16At(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(U16At(bytes, at)) | static_cast<std::uint32_t>(U16At(bytes, at + 2)) << 16;
}

inline std::string Bytes(std::uint64_t count) { return sys::WithSeparators(count) + " bytes"; }

// What the header says, checked.
struct TgaFormat {
  Kind kind = Kind::kTrueColour;
  bool runLength = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  unsigned depth = 0;
  unsigned pixelBytes = 0;
  unsigned alphaBits = 0;
  bool rightToLeft = false;
  bool topFirst = false;
  std::uint16_t mapFirst = 0;
  std::uint16_t mapLength = 0;
  unsigned mapEntryBits = 0;
  std::uint64_t mapAt = 0;
  std::uint64_t pixelsAt = 0;
};

constexpr unsigned WholeBytes(unsigned bits) { return (bits + 7) / 8; }

// The fields of the header that do not depend on the file's size.
std::string ParseFields(std::span<const std::uint8_t> header, TgaFormat& format);

// Where the colour map and the pixels lie, checked against the file's size.
std::string PlaceParts(std::span<const std::uint8_t> header, std::uint64_t fileSize, TgaFormat& format);

// Whether the stored pixels or map entries have room for alpha at all.
bool CarriesAlpha(const TgaFormat& format);

}  // namespace formats::tga
