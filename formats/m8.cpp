// The m8 texture of Heretic II. Every number is little-endian; the header is 1,040 bytes:
//
//   offset size  field
//        0    4  version            i32, 2
//        4   32  name               NUL-padded
//       36   64  width[16]          u32, width of mip level 0..15
//      100   64  height[16]         u32
//      164   64  offsets[16]        u32, from the start of the file
//      228   32  animname           next frame of an animation
//      260  768  palette            256 x red, green, blue
//     1028    4  flags              i32
//     1032    4  contents           i32
//     1036    4  value              i32
//
// Level i is width[i] * height[i] palette indices, rows from the top down, no padding.
// Readers end the chain at the first level with a side of 0. No alpha: drawn opaque.

#include "formats/m8.h"

#include <algorithm>

#include "formats/m32_writer.h"
#include "system/number_text.h"

namespace formats {

using sys::WithSeparators;

namespace {

constexpr std::size_t kVersionAt = 0;
constexpr std::size_t kNameAt = 4;
constexpr std::size_t kNameBytes = 32;
constexpr std::size_t kWidthsAt = 36;
constexpr std::size_t kHeightsAt = 100;
constexpr std::size_t kOffsetsAt = 164;
constexpr std::size_t kPaletteAt = 260;
constexpr std::uint64_t kLargestFile = UINT32_MAX;

MipLevel LevelAt(std::span<const std::uint8_t> header, std::size_t index) {
  const std::size_t at = index * 4;
  return {ReadU32(header, kWidthsAt + at), ReadU32(header, kHeightsAt + at), ReadU32(header, kOffsetsAt + at)};
}

}  // namespace

HeaderResult CheckM8Header(std::span<const std::uint8_t> header, std::uint64_t fileSize) {
  if (fileSize == 0) return {{}, "empty file, not an m8 texture"};
  const std::uint64_t present = std::min<std::uint64_t>(header.size(), fileSize);
  if (present < kM8HeaderBytes) {
    return {{},
            "too short for an m8 texture: " + WithSeparators(present) + " bytes, the header alone is " +
                WithSeparators(kM8HeaderBytes)};
  }
  const auto version = static_cast<std::int32_t>(ReadU32(header, kVersionAt));
  if (version != kM8Version) {
    return {{}, "not an m8 texture: version " + WithSeparators(version) + ", expected " + WithSeparators(kM8Version)};
  }
  return CheckLevel0(LevelAt(header, 0), fileSize);
}

std::vector<MipLevel> M8Levels(std::span<const std::uint8_t> header) {
  std::vector<MipLevel> levels;
  for (std::size_t index = 0; index < kM8Levels; ++index) {
    const MipLevel level = LevelAt(header, index);
    if (level.width == 0 || level.height == 0) break;
    levels.push_back(level);
  }
  return levels;
}

Palette M8Palette(std::span<const std::uint8_t> header) {
  Palette palette;
  std::copy_n(header.begin() + kPaletteAt, kPaletteBytes, palette.rgb.begin());
  return palette;
}

LevelPick PickM8Level(std::span<const std::uint8_t> header, std::uint64_t fileSize, LevelFloor floor) {
  const HeaderResult level0 = CheckM8Header(header, fileSize);
  if (!level0.Ok()) return {level0, 0, {}};
  return PickLevel(level0, M8Levels(header), fileSize, floor);
}

M8Read ReadM8Header(ByteSource& source) {
  M8Read read;
  const auto present = static_cast<std::size_t>(std::min<std::uint64_t>(source.Size(), kM8HeaderBytes));
  if (!source.ReadAt(0, std::span(read.header).first(present))) {
    read.level0.error = source.Error();
    return read;
  }
  read.level0 = CheckM8Header(std::span(read.header).first(present), source.Size());
  return read;
}

M8Header DefaultM8Header(std::string_view name, const Palette& palette) {
  M8Header header{};
  PutU32(header, kVersionAt, static_cast<std::uint32_t>(kM8Version));
  std::copy_n(name.begin(), std::min(name.size(), kNameBytes - 1), header.begin() + kNameAt);
  std::copy(palette.rgb.begin(), palette.rgb.end(), header.begin() + kPaletteAt);
  return header;
}

void PutM8Levels(std::span<const MipLevel> levels, M8Header& header) {
  for (std::size_t i = 0; i < kM8Levels; ++i) {
    const MipLevel level = i < levels.size() ? levels[i] : MipLevel{};
    PutU32(header, kWidthsAt + 4 * i, level.width);
    PutU32(header, kHeightsAt + 4 * i, level.height);
    PutU32(header, kOffsetsAt + 4 * i, static_cast<std::uint32_t>(level.offset));
  }
}

M32Layout LayOutM8(std::uint32_t width, std::uint32_t height, std::size_t mostLevels) {
  M32Layout layout;
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    layout.error =
        "an m8 cannot hold an image of " + WithSeparators(width) + " x " + WithSeparators(height) + " pixels";
    return layout;
  }
  layout = ChainLevels({width, height, kM8HeaderBytes}, 1, std::min(mostLevels, kM8Levels));
  if (layout.fileSize > kLargestFile) {
    layout.error = "too large for an m8: its levels take " + WithSeparators(layout.fileSize) + " bytes, past the " +
                   WithSeparators(kLargestFile) + " its 32-bit offsets reach";
  }
  return layout;
}

}  // namespace formats
