// m32 files for the preview tests, written with the tests' one writer, and m8 files made
// by hand: textures whose pictures show where each pixel and each mip level came from.
#pragma once

#include <algorithm>
#include <cstdint>

#include "support/image_files.h"

namespace preview_testing {

using namespace image_files;

// Each quarter of the image one colour: red top left, green top right, blue at half
// alpha bottom left, white bottom right.
inline RgbaImage Quarters(std::uint32_t width, std::uint32_t height) {
  const std::uint8_t colours[4][4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 128}, {255, 255, 255, 255}};
  RgbaImage image{width, height, {}};
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint8_t* colour = colours[(y >= height / 2) * 2 + (x >= width / 2)];
      image.rgba.insert(image.rgba.end(), colour, colour + 4);
    }
  }
  return image;
}

// The colour, as ARGB, of every pixel of level `level` of FlatLevels' textures.
inline unsigned LevelColour(std::size_t level) {
  const auto step = static_cast<unsigned>(level) * 25;
  return 0xFF000000u | step % 256 << 16 | (255 - step % 256) << 8 | step * 3 % 256;
}

// A texture whose every mip level is one flat colour of its own, so that a picture
// shows which level it was read from.
inline Bytes FlatLevels(std::uint32_t width, std::uint32_t height) {
  Bytes bytes = EncodeM32(VariedImage(width, height), "textures/test/levels");
  for (std::size_t level = 0; level < kMaxLevels; ++level) {
    const unsigned argb = LevelColour(level);
    const std::size_t pixels = std::size_t{U32(bytes, kWidthsAt + 4 * level)} * U32(bytes, kHeightsAt + 4 * level);
    for (std::size_t at = U32(bytes, kOffsetsAt + 4 * level), end = at + pixels * 4; at < end; at += 4) {
      for (int channel = 0; channel < 4; ++channel)
        bytes[at + channel] = static_cast<std::uint8_t>(argb >> (channel == 3 ? 24 : 16 - 8 * channel));
    }
  }
  return bytes;
}

// The texture with level 0 alone, as tools that write no mip levels leave it.
inline Bytes Level0Only(Bytes bytes) {
  for (std::size_t at = 4; at < 4 * kMaxLevels; at += 4) {
    for (const std::size_t field : {kWidthsAt, kHeightsAt, kOffsetsAt}) PutU32(bytes, field + at, 0);
  }
  bytes.resize(kHeaderBytes + std::size_t{U32(bytes, kWidthsAt)} * U32(bytes, kHeightsAt) * 4);
  return bytes;
}

// Level 0's index at (x, y) in FlatLevelsM8, so that its picture shows each colour's index.
inline std::uint8_t M8Index(std::uint32_t x, std::uint32_t y) { return static_cast<std::uint8_t>(x * 7 + y * 13); }

// An m8 texture laid out as m8 files are (version 2, the header of 1,040 bytes, sides at
// 36, 100 and 164, the palette at 260), its levels halved down to 1 x 1: level 0 indexed
// by M8Index, every smaller level `l` flat index `l`. Index i's colour is LevelColour(i).
inline Bytes FlatLevelsM8(std::uint32_t width, std::uint32_t height) {
  Bytes bytes(1040);
  PutU32(bytes, 0, 2);
  for (unsigned at = 0; at < 768; ++at) bytes[260 + at] = std::uint8_t(LevelColour(at / 3) >> (16 - 8 * (at % 3)));
  for (std::size_t level = 0; level < kMaxLevels; ++level) {
    PutU32(bytes, 36 + 4 * level, width);
    PutU32(bytes, 100 + 4 * level, height);
    PutU32(bytes, 164 + 4 * level, static_cast<std::uint32_t>(bytes.size()));
    for (std::uint32_t at = 0; at < width * height; ++at)
      bytes.push_back(level == 0 ? M8Index(at % width, at / width) : std::uint8_t(level));
    if (width == 1 && height == 1) break;
    width = std::max(1u, width / 2);
    height = std::max(1u, height / 2);
  }
  return bytes;
}

// A texture (an m8 with `m8`) whose level 0 ends a byte early: every reader refuses it
// as truncated.
inline Bytes Truncated(bool m8 = false) {
  Bytes bytes = m8 ? FlatLevelsM8(6, 5) : EncodeM32(VariedImage(6, 5), "textures/test/truncated");
  bytes.resize((m8 ? 1040 + 6 * 5 : kHeaderBytes + 6 * 5 * 4) - 1);
  return bytes;
}

}  // namespace preview_testing
