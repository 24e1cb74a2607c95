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

#include "formats/tga_writer.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "formats/m32.h"

#include "formats/pixel_loops.h"

namespace formats {
namespace {

constexpr std::uint8_t kAlphaBits = 8;
constexpr std::size_t kBgrBytes = 3;
constexpr std::size_t kBgraBytes = 4;
constexpr std::size_t kBitsPerByte = 8;

std::size_t BytesPerPixel(TgaDepth depth) { return depth == TgaDepth::kBgra32 ? kBgraBytes : kBgrBytes; }

void PutU16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value & 0xFF);
  at[1] = static_cast<std::uint8_t>(value >> 8 & 0xFF);
}

std::array<std::uint8_t, kTgaHeaderBytes> HeaderFor(ImageSize size, TgaDepth depth) {
  std::array<std::uint8_t, kTgaHeaderBytes> header{};
  header[kTgaImageTypeAt] = kTgaTrueColourType;
  PutU16(&header[kTgaWidthAt], size.width);
  PutU16(&header[kTgaHeightAt], size.height);
  header[kTgaDepthAt] = static_cast<std::uint8_t>(BytesPerPixel(depth) * kBitsPerByte);
  header[kTgaDescriptorAt] = depth == TgaDepth::kBgra32 ? kAlphaBits : 0;
  return header;
}

std::array<std::uint8_t, kTgaFooterBytes> Footer() {
  std::array<std::uint8_t, kTgaFooterBytes> bytes{};
  std::copy(kTgaSignature.begin(), kTgaSignature.end(), bytes.begin() + kTgaFooterOffsetBytes);
  return bytes;
}

// Collects bytes in a fixed buffer and hands them to the sink when it fills.
class ChunkWriter {
 public:
  // A chunk, or the whole file when that is less.
  ChunkWriter(ByteSink& sink, std::uint64_t fileBytes)
      : sink_(sink), buffer_(static_cast<std::size_t>(std::min<std::uint64_t>(fileBytes, kChunkBytes))) {}

  bool Put(std::span<const std::uint8_t> bytes) { return MakeRoom(bytes.size()) && (Append(bytes), true); }

  // Room for at least `bytes` (never more than the chunk size), flushing if needed.
  bool MakeRoom(std::size_t bytes) { return bytes <= Space() || Flush(); }

  std::size_t Space() const { return buffer_.size() - used_; }
  std::uint8_t* Cursor() { return buffer_.data() + used_; }
  void Advance(std::size_t bytes) { used_ += bytes; }

  bool Flush() {
    const bool written = used_ == 0 || sink_.Write({buffer_.data(), used_});
    used_ = 0;
    return written;
  }

 private:
  void Append(std::span<const std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), Cursor());
    Advance(bytes.size());
  }

  ByteSink& sink_;
  std::vector<std::uint8_t> buffer_;
  std::size_t used_ = 0;
};

bool WriteRow(const std::uint8_t* src, std::size_t pixels, TgaDepth depth, ChunkWriter& out) {
  const std::size_t outBytes = BytesPerPixel(depth);
  while (pixels > 0) {
    if (!out.MakeRoom(outBytes)) return false;
    const std::size_t run = std::min(pixels, out.Space() / outBytes);
    if (depth == TgaDepth::kBgra32) {
      SwapRedAndBlue(src, out.Cursor(), run);
    } else {
      RgbaToBgr(src, out.Cursor(), run);
    }
    out.Advance(run * outBytes);
    src += run * kM32BytesPerPixel;
    pixels -= run;
  }
  return true;
}

// The rows of one block, last row first, as the TGA stores them.
bool WriteBlock(std::span<const std::uint8_t> block, std::uint32_t width, TgaDepth depth, ChunkWriter& out) {
  const std::size_t rowBytes = std::size_t{width} * kM32BytesPerPixel;
  for (std::size_t row = block.size() / rowBytes; row-- > 0;) {
    if (!WriteRow(block.data() + row * rowBytes, width, depth, out)) return false;
  }
  return true;
}

// As many whole rows as fill the working buffer, and never fewer than one; a row of
// 65,535 pixels is 262,140 bytes, just under the buffer.
// Blocks from the bottom of the image up; each must hold exactly the rows asked for.
bool WritePixels(ImageSize size, PixelRows& pixels, TgaDepth depth, ChunkWriter& out) {
  const std::size_t rowBytes = std::size_t{size.width} * kM32BytesPerPixel;
  const std::size_t blockRows = RowsPerBlock(size.width);
  for (std::size_t end = size.height; end > 0;) {
    const std::size_t count = std::min(end, blockRows);
    end -= count;
    const std::span<const std::uint8_t> block = pixels.Rows(end, count);
    if (block.size() != count * rowBytes) return false;
    if (!WriteBlock(block, size.width, depth, out)) return false;
  }
  return true;
}

}  // namespace

bool WriteTga(ImageSize size, PixelRows& pixels, TgaDepth depth, ByteSink& sink) {
  if (size.width > kMaxSide || size.height > kMaxSide) return false;
  const std::uint64_t pixelBytes = std::uint64_t{size.width} * size.height * BytesPerPixel(depth);
  ChunkWriter out(sink, kTgaHeaderBytes + pixelBytes + kTgaFooterBytes);
  if (!out.Put(HeaderFor(size, depth))) return false;
  if (size.width > 0 && !WritePixels(size, pixels, depth, out)) return false;
  return out.Put(Footer()) && out.Flush();
}

}  // namespace formats
