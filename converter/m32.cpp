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

#include "number_text.hpp"

namespace m32tga {
namespace {

constexpr std::size_t kHeaderBytes = 968;
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

DecodeResult failure(std::string reason) { return {ImageView{}, std::move(reason)}; }

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

}  // namespace

DecodeResult decode_m32(std::span<const std::uint8_t> file) {
    if (file.empty()) return failure("empty file, not an m32 texture");
    if (file.size() < kHeaderBytes) {
        return failure("too short for an m32 texture: " + with_separators(file.size()) +
                       " bytes, the header alone is " + with_separators(kHeaderBytes));
    }
    const std::int32_t version = read_i32(file, kVersionAt);
    if (version != kVersion) {
        return failure("not an m32 texture: version " + with_separators(version) +
                       ", expected " + with_separators(kVersion));
    }
    const std::uint32_t width = read_u32(file, kWidthsAt);
    const std::uint32_t height = read_u32(file, kHeightsAt);
    if (std::string error = side_error(width, height); !error.empty()) return failure(error);

    const std::uint64_t start = read_u32(file, kOffsetsAt);
    if (start > file.size()) {
        return failure("level 0 starts at byte " + with_separators(start) +
                       ", past the end of the file (" + with_separators(file.size()) + " bytes)");
    }
    // Both sides are at most 65,535, so the byte count fits 64 bits with room to spare.
    const std::uint64_t pixel_bytes = std::uint64_t{width} * height * kBytesPerPixel;
    const std::uint64_t remaining = file.size() - start;
    if (pixel_bytes > remaining) {
        return failure("truncated: pixel data ends at byte " + with_separators(file.size()) +
                       " of " + with_separators(start + pixel_bytes));
    }
    const ImageView image{width, height,
                          file.subspan(static_cast<std::size_t>(start),
                                       static_cast<std::size_t>(pixel_bytes))};
    return {image, {}};
}

}  // namespace m32tga
