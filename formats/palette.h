// The 256 colours of an 8-bit texture, read from the files modders keep them in, and the
// indices that the formats and the games set aside.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "formats/image.h"

namespace formats {

inline constexpr std::size_t kPaletteColours = 256;
inline constexpr std::size_t kPaletteBytes = kPaletteColours * 3;

// Red, green, blue for each index, as the files store them.
struct Palette {
  std::array<std::uint8_t, kPaletteBytes> rgb{};
  const std::uint8_t* Colour(std::size_t index) const { return &rgb[index * 3]; }
  bool operator==(const Palette&) const = default;
};

// Indices a mapping never picks for a colour of its own; a file's indices are kept as
// they are.
using ReservedIndices = std::bitset<kPaletteColours>;

// m8: the game's own tool kept indices 0 and 255 out of its palettes' ordinary colours,
// and source ports draw 255 as a hole in see-through 8-bit textures.
ReservedIndices M8Reserved();
// WAL: index 255 is drawn as a hole by the engine's source ports (and the remaster) in
// see-through surfaces, so no ordinary colour may take it.
ReservedIndices WalReserved();

struct PaletteResult {
  Palette palette;
  std::string error;  // empty when the file held a palette
  bool Ok() const { return error.empty(); }
};

// A palette from a file, told by its content: a 256-colour PCX (the byte 12 and 768
// bytes of colour at its end), a JASC-PAL text file of 256 colours, an m8 texture, or
// 768 bytes of raw colour (palette.lmp). Only the parts that hold the colours are read,
// so a file of any size costs a few KiB.
PaletteResult ReadPalette(ByteSource& file);

// Whether an image's palette of `colours` (3 bytes each, at most 256) is the start of
// `target`, so that its indices stand for the same colours there.
bool IsPrefixOf(std::span<const std::uint8_t> colours, const Palette& target);

}  // namespace formats
