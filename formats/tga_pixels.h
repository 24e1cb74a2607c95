// The parts of the TGA reader: stored pixels of every kind and depth turned into RGBA,
// the one place that knows every pixel format. For the reader's own files only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/tga_header.h"

namespace formats::tga {

struct AlphaUse {
  bool wanted = false;
  bool premultiplied = false;
};

class PixelDecoder {
 public:
  explicit PixelDecoder(const TgaFormat& format) : format_(format) {}

  void LoadMap(std::span<const std::uint8_t> stored);
  void SetAlpha(AlphaUse use) { alpha_ = use; }

  // `count` stored pixels as RGBA; false, with `error` saying why, at a map index
  // outside the map.
  bool Decode(const std::uint8_t* stored, std::size_t count, std::uint8_t* rgba, std::string& error) const;

 private:
  void DecodeTrueColour(const std::uint8_t* stored, std::size_t count, std::uint8_t* rgba) const;
  void DecodeGrey(const std::uint8_t* stored, std::size_t count, std::uint8_t* rgba) const;
  bool DecodeIndices(const std::uint8_t* stored, std::size_t count, std::uint8_t* rgba, std::string& error) const;

  const TgaFormat& format_;  // filled in by the reader before the first pixel
  std::vector<std::array<std::uint8_t, kRgbaBytes>> map_;
  AlphaUse alpha_;
};

}  // namespace formats::tga
