// The TGA file this writer produces: uncompressed true-colour (image type 2).
//
// Every number is little-endian. An 18-byte header:
//
//   offset size  field               written
//        0    1  image ID length     0, no image ID
//        1    1  colour-map type     0
//        2    1  image type          2, uncompressed true-colour
//        3    5  colour-map fields   0
//        8    2  x origin            0
//       10    2  y origin            0
//       12    2  width               level-0 width
//       14    2  height              level-0 height
//       16    1  pixel depth         24, or 32 with alpha
//       17    1  image descriptor    bits 0-3 alpha bits (0 or 8); bit 5 clear: bottom row first
//
// then the pixels, blue, green, red (and alpha), rows from the bottom of the image up,
// which every reader honours even when it ignores the descriptor's origin bit; then the
// 26-byte TGA 2.0 footer: extension-area offset 0, developer-directory offset 0,
// "TRUEVISION-XFILE." and a NUL. Some programs refuse a TGA without the footer.

#include "tga.hpp"

#include <algorithm>
#include <array>
#include <string_view>

namespace m32tga {
namespace {

constexpr std::size_t kHeaderBytes = 18;
constexpr std::uint8_t kTrueColour = 2;
constexpr std::size_t kWidthAt = 12;
constexpr std::size_t kHeightAt = 14;
constexpr std::size_t kDepthAt = 16;
constexpr std::size_t kDescriptorAt = 17;
constexpr std::size_t kImageTypeAt = 2;
constexpr std::uint8_t kAlphaBits = 8;
constexpr std::string_view kFooterSignature{"TRUEVISION-XFILE.\0", 18};
constexpr std::size_t kFooterOffsetBytes = 8;  // two u32 offsets, both 0
constexpr std::size_t kFooterBytes = kFooterOffsetBytes + kFooterSignature.size();
constexpr std::size_t kSourceBytesPerPixel = 4;
constexpr std::uint32_t kMaxSide = 65535;
constexpr std::size_t kBgrBytes = 3;
constexpr std::size_t kBgraBytes = 4;
constexpr std::size_t kBitsPerByte = 8;

std::size_t bytes_per_pixel(TgaDepth depth) {
    return depth == TgaDepth::kBgra32 ? kBgraBytes : kBgrBytes;
}

void put_u16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>(value >> 8 & 0xFF);
}

std::array<std::uint8_t, kHeaderBytes> header_for(ImageSize size, TgaDepth depth) {
    std::array<std::uint8_t, kHeaderBytes> header{};
    header[kImageTypeAt] = kTrueColour;
    put_u16(&header[kWidthAt], size.width);
    put_u16(&header[kHeightAt], size.height);
    header[kDepthAt] = static_cast<std::uint8_t>(bytes_per_pixel(depth) * kBitsPerByte);
    header[kDescriptorAt] = depth == TgaDepth::kBgra32 ? kAlphaBits : 0;
    return header;
}

std::array<std::uint8_t, kFooterBytes> footer() {
    std::array<std::uint8_t, kFooterBytes> bytes{};
    std::copy(kFooterSignature.begin(), kFooterSignature.end(),
              bytes.begin() + kFooterOffsetBytes);
    return bytes;
}

// The shuffles vectorise only with SSSE3 or AVX2; on x86-64 the loader picks the best
// copy the processor runs, and other compilers and processors get the plain loops.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__ELF__)
#define PIXEL_LOOP __attribute__((target_clones("avx2", "ssse3", "default")))
#else
#define PIXEL_LOOP
#endif

PIXEL_LOOP void rgba_to_bgr(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst,
                            std::size_t pixels) {
    for (std::size_t i = 0; i < pixels; ++i) {
        dst[3 * i + 0] = src[4 * i + 2];
        dst[3 * i + 1] = src[4 * i + 1];
        dst[3 * i + 2] = src[4 * i + 0];
    }
}

PIXEL_LOOP void rgba_to_bgra(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst,
                             std::size_t pixels) {
    for (std::size_t i = 0; i < pixels; ++i) {
        dst[4 * i + 0] = src[4 * i + 2];
        dst[4 * i + 1] = src[4 * i + 1];
        dst[4 * i + 2] = src[4 * i + 0];
        dst[4 * i + 3] = src[4 * i + 3];
    }
}

// Collects bytes in a fixed buffer and hands them to the sink when it fills.
class ChunkWriter {
public:
    explicit ChunkWriter(ByteSink& sink) : sink_(sink), buffer_(kTgaChunkBytes) {}

    bool put(std::span<const std::uint8_t> bytes) {
        return make_room(bytes.size()) && (append(bytes), true);
    }

    // Room for at least `bytes` (never more than the chunk size), flushing if needed.
    bool make_room(std::size_t bytes) { return bytes <= space() || flush(); }

    std::size_t space() const { return buffer_.size() - used_; }
    std::uint8_t* cursor() { return buffer_.data() + used_; }
    void advance(std::size_t bytes) { used_ += bytes; }

    bool flush() {
        const bool written = used_ == 0 || sink_.write({buffer_.data(), used_});
        used_ = 0;
        return written;
    }

private:
    void append(std::span<const std::uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), cursor());
        advance(bytes.size());
    }

    ByteSink& sink_;
    std::vector<std::uint8_t> buffer_;
    std::size_t used_ = 0;
};

bool write_row(const std::uint8_t* src, std::size_t pixels, TgaDepth depth,
               ChunkWriter& out) {
    const std::size_t out_bytes = bytes_per_pixel(depth);
    while (pixels > 0) {
        if (!out.make_room(out_bytes)) return false;
        const std::size_t run = std::min(pixels, out.space() / out_bytes);
        if (depth == TgaDepth::kBgra32) {
            rgba_to_bgra(src, out.cursor(), run);
        } else {
            rgba_to_bgr(src, out.cursor(), run);
        }
        out.advance(run * out_bytes);
        src += run * kSourceBytesPerPixel;
        pixels -= run;
    }
    return true;
}

// The rows of one block, last row first, as the TGA stores them.
bool write_block(std::span<const std::uint8_t> block, std::uint32_t width, TgaDepth depth,
                 ChunkWriter& out) {
    const std::size_t row_bytes = std::size_t{width} * kSourceBytesPerPixel;
    for (std::size_t row = block.size() / row_bytes; row-- > 0;) {
        if (!write_row(block.data() + row * row_bytes, width, depth, out)) return false;
    }
    return true;
}

// As many whole rows as fill the working buffer, and never fewer than one; a row of
// 65,535 pixels is 262,140 bytes, just under the buffer.
std::size_t rows_per_block(std::uint32_t width) {
    const std::size_t row_bytes = std::size_t{width} * kSourceBytesPerPixel;
    return std::max<std::size_t>(1, kTgaChunkBytes / row_bytes);
}

// Blocks from the bottom of the image up; each must hold exactly the rows asked for.
bool write_pixels(ImageSize size, PixelRows& pixels, TgaDepth depth, ChunkWriter& out) {
    const std::size_t row_bytes = std::size_t{size.width} * kSourceBytesPerPixel;
    const std::size_t block_rows = rows_per_block(size.width);
    for (std::size_t end = size.height; end > 0;) {
        const std::size_t count = std::min(end, block_rows);
        end -= count;
        const std::span<const std::uint8_t> block = pixels.rows(end, count);
        if (block.size() != count * row_bytes) return false;
        if (!write_block(block, size.width, depth, out)) return false;
    }
    return true;
}

class VectorSink final : public ByteSink {
public:
    bool write(std::span<const std::uint8_t> bytes) override {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return true;
    }
    std::vector<std::uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::span<const std::uint8_t> ImageRows::rows(std::size_t first, std::size_t count) {
    if (first > image_.height || count > image_.height - first) return {};
    const std::uint64_t row_bytes = std::uint64_t{image_.width} * kSourceBytesPerPixel;
    if (row_bytes == 0) return {};
    // Counted in whole rows the view holds, so that no product below can overflow.
    const std::uint64_t rows_held = image_.rgba.size() / row_bytes;
    if (first > rows_held || count > rows_held - first) return {};
    return image_.rgba.subspan(static_cast<std::size_t>(first * row_bytes),
                               static_cast<std::size_t>(count * row_bytes));
}

bool write_tga(ImageSize size, PixelRows& pixels, TgaDepth depth, ByteSink& sink) {
    if (size.width > kMaxSide || size.height > kMaxSide) return false;
    ChunkWriter out(sink);
    if (!out.put(header_for(size, depth))) return false;
    if (size.width > 0 && !write_pixels(size, pixels, depth, out)) return false;
    return out.put(footer()) && out.flush();
}

std::vector<std::uint8_t> encode_tga(const ImageView& image, TgaDepth depth) {
    ImageRows pixels(image);
    VectorSink sink;
    if (!write_tga({image.width, image.height}, pixels, depth, sink)) return {};
    return sink.take();
}

}  // namespace m32tga
