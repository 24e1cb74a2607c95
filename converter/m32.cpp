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

#include "m32.hpp"

#include <algorithm>
#include <utility>

#include "number_text.hpp"

namespace m32tga {
namespace {

constexpr std::int32_t kVersion = 4;
constexpr std::size_t kVersionAt = 0;
constexpr std::size_t kWidthsAt = 516;
constexpr std::size_t kHeightsAt = 580;
constexpr std::size_t kOffsetsAt = 644;
constexpr std::uint32_t kMaxSide = 65535;
constexpr std::uint64_t kBytesPerPixel = 4;

std::uint32_t read_u32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) |
           static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::int32_t read_i32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::int32_t>(read_u32(bytes, at));
}

HeaderResult refusal(std::string reason) { return {Level0{}, std::move(reason)}; }

std::string side_error(std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0) {
        return "no image: level 0 is " + with_separators(width) + " x " +
               with_separators(height) + " pixels";
    }
    if (width > kMaxSide || height > kMaxSide) {
        return "too large for a TGA: level 0 is " + with_separators(width) + " x " +
               with_separators(height) + " pixels, at most " + with_separators(kMaxSide) +
               " a side";
    }
    return {};
}

// Both sides are at most 65,535 once checked, so the count fits 64 bits with room to spare.
std::uint64_t pixel_bytes(const Level0& level) {
    return std::uint64_t{level.width} * level.height * kBytesPerPixel;
}

std::string placement_error(const Level0& level, std::uint64_t file_size) {
    if (level.offset > file_size) {
        return "level 0 starts at byte " + with_separators(level.offset) +
               ", past the end of the file (" + with_separators(file_size) + " bytes)";
    }
    if (pixel_bytes(level) > file_size - level.offset) {
        return "truncated: pixel data ends at byte " + with_separators(file_size) + " of " +
               with_separators(level.offset + pixel_bytes(level));
    }
    return {};
}

}  // namespace

HeaderResult check_m32_header(std::span<const std::uint8_t> header, std::uint64_t file_size) {
    if (file_size == 0) return refusal("empty file, not an m32 texture");
    // A header shorter than the file claims to be is read as what it is.
    const std::uint64_t present = std::min<std::uint64_t>(header.size(), file_size);
    if (present < kM32HeaderBytes) {
        return refusal("too short for an m32 texture: " + with_separators(present) +
                       " bytes, the header alone is " + with_separators(kM32HeaderBytes));
    }
    const std::int32_t version = read_i32(header, kVersionAt);
    if (version != kVersion) {
        return refusal("not an m32 texture: version " + with_separators(version) +
                       ", expected " + with_separators(kVersion));
    }
    const Level0 level{read_u32(header, kWidthsAt), read_u32(header, kHeightsAt),
                       read_u32(header, kOffsetsAt)};
    if (std::string error = side_error(level.width, level.height); !error.empty()) {
        return refusal(std::move(error));
    }
    if (std::string error = placement_error(level, file_size); !error.empty()) {
        return refusal(std::move(error));
    }
    return {level, {}};
}

DecodeResult decode_m32(std::span<const std::uint8_t> file) {
    const HeaderResult header =
        check_m32_header(file.first(std::min(file.size(), kM32HeaderBytes)), file.size());
    if (!header.ok()) return {ImageView{}, header.error};
    // The check put every pixel byte inside `file`, so both numbers fit its size type.
    const Level0& level = header.level0;
    const ImageView image{level.width, level.height,
                          file.subspan(static_cast<std::size_t>(level.offset),
                                       static_cast<std::size_t>(pixel_bytes(level)))};
    return {image, {}};
}

}  // namespace m32tga
