// The WAL texture: the layout is described at the top of wal.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "formats/indexed.h"
#include "formats/m32_writer.h"

namespace formats {

inline constexpr std::size_t kWalHeaderBytes = 100;
inline constexpr std::size_t kWalLevels = 4;
// Level 3 is an eighth of each side, so no side may be shorter.
inline constexpr std::uint32_t kWalShortestSide = 1u << (kWalLevels - 1);
using WalHeader = std::array<std::uint8_t, kWalHeaderBytes>;

// Checks the first kWalHeaderBytes of a file (all of it when shorter) against its size:
// level 0 as CheckLevel0 does. A WAL has no mark of its own to check.
HeaderResult CheckWalHeader(std::span<const std::uint8_t> header, std::uint64_t fileSize);
// The four levels, (width >> i) x (height >> i) at offsets[i]; unchecked.
std::vector<MipLevel> WalLevels(std::span<const std::uint8_t> header);
LevelPick PickWalLevel(std::span<const std::uint8_t> header, std::uint64_t fileSize, LevelFloor floor);

struct WalRead {
  WalHeader header{};
  HeaderResult level0;
};
WalRead ReadWalHeader(ByteSource& source);

// The name (cut to the 31 bytes its field holds); no levels; the rest 0.
WalHeader DefaultWalHeader(std::string_view name);
// Writes level 0's sides and the four offsets.
void PutWalLevels(std::span<const MipLevel> levels, WalHeader& header);
// Four levels, (width >> i) x (height >> i), one after another from the end of the
// header; an error for a side below 8 (level 3 would be empty) or above 65,535.
M32Layout LayOutWal(std::uint32_t width, std::uint32_t height);

}  // namespace formats
