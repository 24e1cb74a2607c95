// The WAL texture of Quake II. Every number is little-endian; the header is 100 bytes:
//
//   offset size  field
//        0   32  name               NUL-padded
//       32    4  width              u32
//       36    4  height             u32
//       40   16  offsets[4]         u32, from the start of the file
//       56   32  animname           next frame of an animation, without extension
//       88    4  flags              i32
//       92    4  contents           i32
//       96    4  value              i32
//
// Level i is (width >> i) * (height >> i) palette indices, rows from the top down. The
// palette is the game's (pics/colormap.pcx), not in the file. No alpha.

#include "formats/wal.h"

#include <algorithm>

#include "formats/m32_writer.h"
#include "system/number_text.h"

namespace formats {

using sys::WithSeparators;

namespace {

constexpr std::size_t kNameBytes = 32;
constexpr std::size_t kWidthAt = 32;
constexpr std::size_t kHeightAt = 36;
constexpr std::size_t kOffsetsAt = 40;

}  // namespace

HeaderResult CheckWalHeader(std::span<const std::uint8_t> header, std::uint64_t fileSize) {
  if (fileSize == 0) return {{}, "empty file, not a WAL texture"};
  const std::uint64_t present = std::min<std::uint64_t>(header.size(), fileSize);
  if (present < kWalHeaderBytes) {
    return {{},
            "too short for a WAL texture: " + WithSeparators(present) + " bytes, the header alone is " +
                WithSeparators(kWalHeaderBytes)};
  }
  return CheckLevel0(WalLevels(header)[0], fileSize);
}

std::vector<MipLevel> WalLevels(std::span<const std::uint8_t> header) {
  const std::uint32_t width = ReadU32(header, kWidthAt);
  const std::uint32_t height = ReadU32(header, kHeightAt);
  std::vector<MipLevel> levels;
  for (std::size_t i = 0; i < kWalLevels; ++i) {
    levels.push_back({width >> i, height >> i, ReadU32(header, kOffsetsAt + 4 * i)});
  }
  return levels;
}

LevelPick PickWalLevel(std::span<const std::uint8_t> header, std::uint64_t fileSize, LevelFloor floor) {
  const HeaderResult level0 = CheckWalHeader(header, fileSize);
  if (!level0.Ok()) return {level0, 0, {}};
  return PickLevel(level0, WalLevels(header), fileSize, floor);
}

WalRead ReadWalHeader(ByteSource& source) {
  WalRead read;
  const auto present = static_cast<std::size_t>(std::min<std::uint64_t>(source.Size(), kWalHeaderBytes));
  if (!source.ReadAt(0, std::span(read.header).first(present))) {
    read.level0.error = source.Error();
    return read;
  }
  read.level0 = CheckWalHeader(std::span(read.header).first(present), source.Size());
  return read;
}

WalHeader DefaultWalHeader(std::string_view name) {
  WalHeader header{};
  std::copy_n(name.begin(), std::min(name.size(), kNameBytes - 1), header.begin());
  return header;
}

void PutWalLevels(std::span<const MipLevel> levels, WalHeader& header) {
  PutU32(header, kWidthAt, levels.empty() ? 0 : levels[0].width);
  PutU32(header, kHeightAt, levels.empty() ? 0 : levels[0].height);
  for (std::size_t i = 0; i < kWalLevels; ++i) {
    PutU32(header, kOffsetsAt + 4 * i, i < levels.size() ? static_cast<std::uint32_t>(levels[i].offset) : 0);
  }
}

M32Layout LayOutWal(std::uint32_t width, std::uint32_t height) {
  M32Layout layout;
  if (width < kWalShortestSide || height < kWalShortestSide || width > kMaxSide || height > kMaxSide) {
    layout.error = "a WAL cannot hold an image of " + WithSeparators(width) + " x " + WithSeparators(height) +
                   " pixels: its fourth level is an eighth of each side, so each side must be 8 to " +
                   WithSeparators(kMaxSide);
    return layout;
  }
  // Each side at least 8, so the four levels are whole eighths, none cut to 1 x 1 early.
  layout = ChainLevels({width, height, kWalHeaderBytes}, 1, kWalLevels);
  if (layout.fileSize > UINT32_MAX) {
    layout.error = "too large for a WAL: its levels take " + WithSeparators(layout.fileSize) + " bytes, past the " +
                   WithSeparators(std::uint64_t{UINT32_MAX}) + " its 32-bit offsets reach";
  }
  return layout;
}

}  // namespace formats
