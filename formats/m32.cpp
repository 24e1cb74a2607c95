// The m32 texture file, as this reader understands it.
//
// Every number is little-endian. The header is 968 bytes:
//
//   offset size  field
//        0    4  version            i32, 4 in every m32 file
//        4  128  name               NUL-padded texture name
//      132  128  altname            substitute texture name
//      260  128  animname           next frame of an animation
//      388  128  damagename         texture shown when damaged
//      516   64  width[16]          u32, width of mip level 0..15, 0 when absent
//      580   64  height[16]         u32, height of mip level 0..15, 0 when absent
//      644   64  offsets[16]        u32, byte offset of each level's pixels from the start
//      708  260  game data          flags, contents, value, scales, detail texture
//      968       end of header
//
// A level holds width * height pixels of 4 bytes (red, green, blue, alpha), rows from
// the top down, left to right, no padding. Conversion reads level 0, the full-size
// image; a preview reads the smallest level that is large enough. Nothing is assumed
// about where the levels lie: a level is accepted wherever its offset puts it, provided
// all of its bytes are inside the file. Width and height are limited to what a TGA can
// hold, and a smaller level's to those of the level above it.

#include "formats/m32.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <utility>

#include "system/number_text.h"

namespace formats {

using sys::WithSeparators;

namespace {

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::int32_t ReadI32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::int32_t>(ReadU32(bytes, at));
}

HeaderResult Refusal(std::string reason) { return {MipLevel{}, std::move(reason)}; }

std::string SideError(std::uint32_t width, std::uint32_t height) {
  if (width == 0 || height == 0) {
    return "no image: level 0 is " + WithSeparators(width) + " x " + WithSeparators(height) + " pixels";
  }
  if (width > kMaxSide || height > kMaxSide) {
    return "too large for a TGA: level 0 is " + WithSeparators(width) + " x " + WithSeparators(height) +
           " pixels, at most " + WithSeparators(kMaxSide) + " a side";
  }
  return {};
}

// Both sides are at most 65,535 once checked, so the count fits 64 bits with room to spare.
std::uint64_t PixelBytes(const MipLevel& level) {
  return std::uint64_t{level.width} * level.height * kM32BytesPerPixel;
}

bool LiesInside(const MipLevel& level, std::uint64_t fileSize) {
  return level.offset <= fileSize && PixelBytes(level) <= fileSize - level.offset;
}

std::string PlacementError(const MipLevel& level, std::uint64_t fileSize) {
  if (LiesInside(level, fileSize)) return {};
  if (level.offset > fileSize) {
    return "level 0 starts at byte " + WithSeparators(level.offset) + ", past the end of the file (" +
           WithSeparators(fileSize) + " bytes)";
  }
  return "truncated: pixel data ends at byte " + WithSeparators(fileSize) + " of " +
         WithSeparators(level.offset + PixelBytes(level));
}

MipLevel LevelAt(std::span<const std::uint8_t> header, std::size_t index) {
  const std::size_t at = index * sizeof(std::uint32_t);
  return {ReadU32(header, kM32WidthsAt + at), ReadU32(header, kM32HeightsAt + at), ReadU32(header, kM32OffsetsAt + at)};
}

bool NoLargerThan(const MipLevel& level, const MipLevel& above) {
  return level.width <= above.width && level.height <= above.height;
}

bool Meets(const MipLevel& level, LevelFloor floor) {
  return level.width >= floor.width && level.height >= floor.height &&
         std::max(level.width, level.height) >= floor.longerSide;
}

// The header, or as much of the source as there is when it is shorter, in `buffer`;
// nothing when the source cannot give it.
std::optional<std::span<const std::uint8_t>> ReadHeaderBytes(ByteSource& source,
                                                             std::array<std::uint8_t, kM32HeaderBytes>& buffer) {
  const std::span<std::uint8_t> header =
      std::span(buffer).first(static_cast<std::size_t>(std::min<std::uint64_t>(source.Size(), buffer.size())));
  if (!source.ReadAt(0, header)) return std::nullopt;
  return header;
}

}  // namespace

HeaderResult CheckM32Header(std::span<const std::uint8_t> header, std::uint64_t fileSize) {
  if (fileSize == 0) return Refusal("empty file, not an m32 texture");
  // A header shorter than the file claims to be is read as what it is.
  const std::uint64_t present = std::min<std::uint64_t>(header.size(), fileSize);
  if (present < kM32HeaderBytes) {
    return Refusal("too short for an m32 texture: " + WithSeparators(present) + " bytes, the header alone is " +
                   WithSeparators(kM32HeaderBytes));
  }
  const std::int32_t version = ReadI32(header, kM32VersionAt);
  if (version != kM32Version) {
    return Refusal("not an m32 texture: version " + WithSeparators(version) + ", expected " +
                   WithSeparators(kM32Version));
  }
  const MipLevel level = LevelAt(header, 0);
  if (std::string error = SideError(level.width, level.height); !error.empty()) {
    return Refusal(std::move(error));
  }
  if (std::string error = PlacementError(level, fileSize); !error.empty()) {
    return Refusal(std::move(error));
  }
  return {level, {}};
}

LevelPick PickM32Level(std::span<const std::uint8_t> header, std::uint64_t fileSize, LevelFloor floor) {
  LevelPick pick{CheckM32Header(header, fileSize), 0, {}};
  if (!pick.Ok()) return pick;
  pick.level = pick.header.level0;
  for (std::size_t index = 1; index < kM32Levels; ++index) {
    const MipLevel level = LevelAt(header, index);
    if (level.width == 0 || level.height == 0) break;
    // The level picked so far is the last one trusted: the first that falls short ends
    // the walk, as every level trusted after it would be smaller still. Its sides bounded
    // first, a level's byte count cannot overflow when its place is checked.
    if (!NoLargerThan(level, pick.level) || !LiesInside(level, fileSize)) continue;
    if (!Meets(level, floor)) break;
    pick.index = index;
    pick.level = level;
  }
  return pick;
}

std::vector<MipLevel> M32Levels(std::span<const std::uint8_t> header) {
  std::vector<MipLevel> levels;
  for (std::size_t index = 0; index < kM32Levels; ++index) {
    const MipLevel level = LevelAt(header, index);
    if (level.width == 0 || level.height == 0) break;
    levels.push_back(level);
  }
  return levels;
}

HeaderResult ReadM32Header(ByteSource& source) {
  std::array<std::uint8_t, kM32HeaderBytes> buffer{};
  const auto header = ReadHeaderBytes(source, buffer);
  if (!header) return Refusal(source.Error());
  return CheckM32Header(*header, source.Size());
}

LevelPick ReadM32Level(ByteSource& source, LevelFloor floor) {
  std::array<std::uint8_t, kM32HeaderBytes> buffer{};
  const auto header = ReadHeaderBytes(source, buffer);
  if (!header) return {Refusal(source.Error()), 0, {}};
  return PickM32Level(*header, source.Size(), floor);
}

std::span<const std::uint8_t> Level0Rows::Rows(std::size_t first, std::size_t count) {
  const std::uint64_t rowBytes = std::uint64_t{level0_.width} * pixelBytes_;
  if (rowBytes == 0 || first > level0_.height || count > level0_.height - first) return {};
  // A block at a time, never the whole image; the divisions keep both products exact.
  if (count > std::max<std::uint64_t>(1, kChunkBytes / rowBytes)) return {};
  if (first > (UINT64_MAX - level0_.offset) / rowBytes) return {};
  buffer_.resize(static_cast<std::size_t>(count * rowBytes));
  if (!source_.ReadAt(level0_.offset + first * rowBytes, buffer_)) return {};
  return buffer_;
}

namespace {

// Reading a pixel alone costs a call into the system, which takes about as long as
// copying this many bytes; pixels further apart are read one by one.
constexpr std::uint64_t kFarApartBytes = 16 * 1024;

// The largest n for which side / n still reaches `least`; any when nothing is asked.
std::uint32_t StepFor(std::uint32_t side, std::uint32_t least) {
  return least == 0 ? UINT32_MAX : std::max<std::uint32_t>(1, side / least);
}

// Of `side` pixels cut into `bands` equal bands, the one at the centre of band `index`.
std::uint32_t Centre(std::uint32_t index, std::uint32_t bands, std::uint32_t side) {
  return static_cast<std::uint32_t>((2 * std::uint64_t{index} + 1) * side / (2 * std::uint64_t{bands}));
}

}  // namespace

ImageSize FitWithin(ImageSize texture, std::uint32_t limit) {
  const std::uint32_t longer = std::max(texture.width, texture.height);
  if (longer <= limit) return texture;
  const auto shrink = [&](std::uint32_t side) {
    return std::max<std::uint32_t>(1, static_cast<std::uint32_t>((std::uint64_t{side} * limit + longer / 2) / longer));
  };
  return {shrink(texture.width), shrink(texture.height)};
}

ImageSize SampledSize(const MipLevel& level, LevelFloor floor) {
  const std::uint32_t step =
      std::min({StepFor(level.width, floor.width), StepFor(level.height, floor.height),
                StepFor(std::max(level.width, level.height), floor.longerSide), std::max(level.width, level.height)});
  return {std::max<std::uint32_t>(1, level.width / step), std::max<std::uint32_t>(1, level.height / step)};
}

SampledRows::SampledRows(ByteSource& source, const MipLevel& level, ImageSize size, std::size_t pixelBytes)
    : source_(source),
      level_(level),
      size_{std::clamp<std::uint32_t>(size.width, 1, level.width),
            std::clamp<std::uint32_t>(size.height, 1, level.height)},
      pixelBytes_(pixelBytes),
      whole_(source, level, pixelBytes) {
  if (size_.width == level.width) return;
  columns_.resize(size_.width);
  for (std::uint32_t x = 0; x < size_.width; ++x) columns_[x] = Centre(x, size_.width, level.width);
  pixelByPixel_ = std::uint64_t{level.width / size_.width} * pixelBytes_ >= kFarApartBytes;
  if (!pixelByPixel_) span_.resize((std::size_t{columns_.back()} - columns_.front() + 1) * pixelBytes_);
}

std::uint64_t SampledRows::RowOffset(std::uint32_t y) const {
  const std::uint32_t row = size_.height == level_.height ? y : Centre(y, size_.height, level_.height);
  return level_.offset + std::uint64_t{row} * level_.width * pixelBytes_;
}

bool SampledRows::ReadColumns(std::uint64_t rowAt, std::span<std::uint8_t> pixels) {
  if (pixelByPixel_) {
    for (std::uint32_t x = 0; x < size_.width; ++x) {
      if (!source_.ReadAt(rowAt + std::uint64_t{columns_[x]} * pixelBytes_,
                          pixels.subspan(x * pixelBytes_, pixelBytes_)))
        return false;
    }
    return true;
  }
  if (!source_.ReadAt(rowAt + std::uint64_t{columns_.front()} * pixelBytes_, span_)) return false;
  for (std::uint32_t x = 0; x < size_.width; ++x) {
    std::memcpy(&pixels[x * pixelBytes_], &span_[std::size_t{columns_[x] - columns_.front()} * pixelBytes_],
                pixelBytes_);
  }
  return true;
}

bool SampledRows::ReadRow(std::uint32_t y, std::span<std::uint8_t> pixels) {
  if (y >= size_.height || pixels.size() != std::size_t{size_.width} * pixelBytes_) return false;
  // The header check found the whole level inside the source, so no offset overflows.
  if (columns_.empty()) return source_.ReadAt(RowOffset(y), pixels);
  return ReadColumns(RowOffset(y), pixels);
}

std::span<const std::uint8_t> SampledRows::Rows(std::size_t first, std::size_t count) {
  if (size_.width == level_.width && size_.height == level_.height) return whole_.Rows(first, count);
  const std::size_t rowBytes = std::size_t{size_.width} * pixelBytes_;
  if (first > size_.height || count > size_.height - first || count > std::max<std::size_t>(1, kChunkBytes / rowBytes))
    return {};
  buffer_.resize(count * rowBytes);
  for (std::size_t i = 0; i < count; ++i) {
    if (!ReadRow(static_cast<std::uint32_t>(first + i), std::span(buffer_).subspan(i * rowBytes, rowBytes))) return {};
  }
  return buffer_;
}

}  // namespace formats
