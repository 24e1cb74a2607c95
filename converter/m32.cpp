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
// the top down, left to right, no padding. Only level 0, the full-size image, is read.
// Nothing is assumed about where the levels lie: level 0 is accepted wherever its offset
// puts it, provided all of its bytes are inside the file. Width and height are limited
// to what a TGA can hold.

#include "m32.h"

#include <algorithm>
#include <array>
#include <utility>

#include "number_text.h"

namespace m32tga {
namespace {

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::int32_t ReadI32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::int32_t>(ReadU32(bytes, at));
}

HeaderResult Refusal(std::string reason) { return {Level0{}, std::move(reason)}; }

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
std::uint64_t PixelBytes(const Level0& level) { return std::uint64_t{level.width} * level.height * kM32BytesPerPixel; }

std::string PlacementError(const Level0& level, std::uint64_t fileSize) {
  if (level.offset > fileSize) {
    return "level 0 starts at byte " + WithSeparators(level.offset) + ", past the end of the file (" +
           WithSeparators(fileSize) + " bytes)";
  }
  if (PixelBytes(level) > fileSize - level.offset) {
    return "truncated: pixel data ends at byte " + WithSeparators(fileSize) + " of " +
           WithSeparators(level.offset + PixelBytes(level));
  }
  return {};
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
  const Level0 level{ReadU32(header, kM32WidthsAt), ReadU32(header, kM32HeightsAt), ReadU32(header, kM32OffsetsAt)};
  if (std::string error = SideError(level.width, level.height); !error.empty()) {
    return Refusal(std::move(error));
  }
  if (std::string error = PlacementError(level, fileSize); !error.empty()) {
    return Refusal(std::move(error));
  }
  return {level, {}};
}

HeaderResult ReadM32Header(ByteSource& source) {
  std::array<std::uint8_t, kM32HeaderBytes> buffer{};
  const std::span<std::uint8_t> header =
      std::span(buffer).first(static_cast<std::size_t>(std::min<std::uint64_t>(source.Size(), buffer.size())));
  if (!source.ReadAt(0, header)) return Refusal(source.Error());
  return CheckM32Header(header, source.Size());
}

std::span<const std::uint8_t> Level0Rows::Rows(std::size_t first, std::size_t count) {
  const std::uint64_t rowBytes = std::uint64_t{level0_.width} * kM32BytesPerPixel;
  if (rowBytes == 0 || first > level0_.height || count > level0_.height - first) return {};
  // A block at a time, never the whole image; the divisions keep both products exact.
  if (count > std::max<std::uint64_t>(1, kTgaChunkBytes / rowBytes)) return {};
  if (first > (UINT64_MAX - level0_.offset) / rowBytes) return {};
  buffer_.resize(static_cast<std::size_t>(count * rowBytes));
  if (!source_.ReadAt(level0_.offset + first * rowBytes, buffer_)) return {};
  return buffer_;
}

}  // namespace m32tga
