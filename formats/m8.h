// The m8 texture: the layout is described at the top of m8.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "formats/indexed.h"
#include "formats/m32_writer.h"
#include "formats/palette.h"

namespace formats {

inline constexpr std::size_t kM8HeaderBytes = 1040;
inline constexpr std::int32_t kM8Version = 2;
inline constexpr std::size_t kM8Levels = 16;
using M8Header = std::array<std::uint8_t, kM8HeaderBytes>;

// Checks the first kM8HeaderBytes of a file (all of it when shorter) against its size:
// the version, then level 0 as CheckLevel0 does.
HeaderResult CheckM8Header(std::span<const std::uint8_t> header, std::uint64_t fileSize);
// The levels the header names, level 0 first, up to the first with a side of 0; unchecked.
std::vector<MipLevel> M8Levels(std::span<const std::uint8_t> header);
// The palette of a header known to be whole.
Palette M8Palette(std::span<const std::uint8_t> header);
// The level a preview reads, as PickLevel picks it.
LevelPick PickM8Level(std::span<const std::uint8_t> header, std::uint64_t fileSize, LevelFloor floor);

// Reads the header, or as much of the source as there is, and checks it; the source's
// error when it cannot give it.
struct M8Read {
  M8Header header{};
  HeaderResult level0;
};
M8Read ReadM8Header(ByteSource& source);

// Version 2, the name (cut to the 31 bytes its field holds) and the palette; no levels,
// and flags, contents and value 0.
M8Header DefaultM8Header(std::string_view name, const Palette& palette);
// Writes the levels' widths, heights and offsets, 0 for the slots past the last.
void PutM8Levels(std::span<const MipLevel> levels, M8Header& header);
// Every level from level 0 halved (rounding down, never below 1) to 1 x 1, at most
// `mostLevels`, one after another from the end of the header; an error for sides a
// TGA cannot hold or a file past the 32-bit offsets.
M32Layout LayOutM8(std::uint32_t width, std::uint32_t height, std::size_t mostLevels = kM8Levels);

}  // namespace formats
