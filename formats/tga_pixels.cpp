#include "formats/tga_pixels.h"

#include <algorithm>
#include <cstring>

#include "formats/pixel_loops.h"

namespace formats::tga {

using sys::WithSeparators;

namespace {

// 0..31 to 0..255, rounded to the nearest.
std::uint8_t Expand5(unsigned value) { return static_cast<std::uint8_t>((value * 255 + 15) / 31); }

// A 15- or 16-bit colour as RGBA; the attribute bit is alpha only when asked.
void From16(std::uint16_t value, bool attributeIsAlpha, std::uint8_t* rgba) {
  constexpr unsigned kFiveBits = 0x1F;
  constexpr unsigned kAttributeBit = 0x8000;
  rgba[0] = Expand5(value >> 10 & kFiveBits);
  rgba[1] = Expand5(value >> 5 & kFiveBits);
  rgba[2] = Expand5(value & kFiveBits);
  rgba[3] = !attributeIsAlpha || (value & kAttributeBit) != 0 ? kOpaque : 0;
}

// Blue, green, red and, with 4 bytes, alpha, as RGBA.
void FromBgra(const std::uint8_t* bgra, unsigned bytes, bool keepAlpha, std::uint8_t* rgba) {
  rgba[0] = bgra[2];
  rgba[1] = bgra[1];
  rgba[2] = bgra[0];
  rgba[3] = bytes == 4 && keepAlpha ? bgra[3] : kOpaque;
}

void FromTrueColour(const std::uint8_t* stored, unsigned bytes, bool keepAlpha, std::uint8_t* rgba) {
  if (bytes == 2) {
    From16(static_cast<std::uint16_t>(stored[0] | stored[1] << 8), keepAlpha, rgba);
  } else {
    FromBgra(stored, bytes, keepAlpha, rgba);
  }
}

std::uint8_t Unpremultiply(std::uint8_t colour, std::uint8_t alpha) {
  if (alpha == 0) return colour;
  return static_cast<std::uint8_t>(std::min<unsigned>(kOpaque, (colour * 255u + alpha / 2u) / alpha));
}

void Unpremultiply(std::uint8_t* rgba, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t* pixel = rgba + i * kRgbaBytes;
    for (int c = 0; c < 3; ++c) pixel[c] = Unpremultiply(pixel[c], pixel[3]);
  }
}

}  // namespace

void PixelDecoder::LoadMap(std::span<const std::uint8_t> stored) {
  const unsigned bytes = WholeBytes(format_.mapEntryBits);
  map_.resize(stored.size() / bytes);
  for (std::size_t i = 0; i < map_.size(); ++i) {
    FromTrueColour(&stored[i * bytes], bytes, true, map_[i].data());
  }
}

bool PixelDecoder::Decode(const std::uint8_t* stored, std::size_t count, std::uint8_t* rgba, std::string& error) const {
  if (format_.kind == Kind::kMapped) {
    if (!DecodeIndices(stored, count, rgba, error)) return false;
  } else if (format_.kind == Kind::kGrey) {
    DecodeGrey(stored, count, rgba);
  } else {
    DecodeTrueColour(stored, count, rgba);
  }
  if (alpha_.premultiplied) Unpremultiply(rgba, count);
  return true;
}

void PixelDecoder::DecodeTrueColour(const std::uint8_t* stored, std::size_t count, std::uint8_t* rgba) const {
  const unsigned bytes = format_.pixelBytes;
  if (bytes == 3) return BgrToRgba(stored, rgba, count);
  if (bytes == 4) {
    SwapRedAndBlue(stored, rgba, count);
    if (!alpha_.wanted) {
      for (std::size_t i = 0; i < count; ++i) rgba[i * kRgbaBytes + 3] = kOpaque;
    }
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    From16(static_cast<std::uint16_t>(stored[2 * i] | stored[2 * i + 1] << 8), alpha_.wanted, rgba + i * kRgbaBytes);
  }
}

void PixelDecoder::DecodeGrey(const std::uint8_t* stored, std::size_t count, std::uint8_t* rgba) const {
  const unsigned bytes = format_.pixelBytes;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* grey = stored + i * bytes;
    std::uint8_t* out = rgba + i * kRgbaBytes;
    out[0] = out[1] = out[2] = grey[0];
    out[3] = bytes == 2 && alpha_.wanted ? grey[1] : kOpaque;
  }
}

bool PixelDecoder::DecodeIndices(const std::uint8_t* stored, std::size_t count, std::uint8_t* rgba,
                                 std::string& error) const {
  const unsigned bytes = format_.pixelBytes;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned index = bytes == 2 ? stored[2 * i] | stored[2 * i + 1] << 8 : stored[i];
    // Unsigned, so that an index below the first entry wraps far out of range.
    const unsigned entry = index - format_.mapFirst;
    if (entry >= map_.size()) {
      error = "colour-map index " + WithSeparators(index) + " outside the TGA's map of entries " +
              WithSeparators(format_.mapFirst) + " to " + WithSeparators(format_.mapFirst + map_.size() - 1);
      return false;
    }
    std::uint8_t* out = rgba + i * kRgbaBytes;
    std::memcpy(out, map_[entry].data(), kRgbaBytes);
    if (!alpha_.wanted) out[3] = kOpaque;
  }
  return true;
}

}  // namespace formats::tga
