#include "m32_bitmap.h"

#include <algorithm>
#include <array>
#include <utility>

#include "formats/pixel_loops.h"
#include "formats/texture_preview.h"
#include "formats/tga_writer.h"

namespace shell {
namespace {

using formats::ImageSize;
using formats::kM32BytesPerPixel;
using formats::MipLevel;

constexpr std::size_t kRed = 0, kBlue = 2, kAlpha = 3;  // in the texture's pixels, green between

BitmapResult Failure(Fault fault, std::string reason) { return {{}, fault, std::move(reason)}; }

// How many rows of an image `width` pixels wide the converter's row readers give at once.
// What the texture's pixels that fall on one thumbnail pixel add up to.
struct PixelSums {
  std::uint64_t count = 0;
  std::uint64_t alpha = 0;
  std::array<std::uint64_t, 3> weighted{};  // red, green and blue, each times its alpha
  std::array<std::uint64_t, 3> plain{};
};

void Add(PixelSums& sums, const std::uint8_t* rgba) {
  ++sums.count;
  sums.alpha += rgba[kAlpha];
  for (std::size_t channel = kRed; channel <= kBlue; ++channel) {
    sums.weighted[channel] += std::uint64_t{rgba[channel]} * rgba[kAlpha];
    sums.plain[channel] += rgba[channel];
  }
}

std::uint8_t Rounded(std::uint64_t total, std::uint64_t count) {
  return static_cast<std::uint8_t>((total + count / 2) / count);
}

// Alpha averaged as stored; colour weighed by alpha, as the converter makes its mip
// levels, so that the colour of transparent pixels does not bleed into visible ones.
void Put(const PixelSums& sums, std::uint8_t* bgra) {
  for (std::size_t channel = kRed; channel <= kBlue; ++channel) {
    bgra[kBlue - channel] =
        sums.alpha > 0 ? Rounded(sums.weighted[channel], sums.alpha) : Rounded(sums.plain[channel], sums.count);
  }
  bgra[kAlpha] = Rounded(sums.alpha, sums.count);
}

// Averages the image that `rows` gives, `from` in size, down to `size`, no larger on
// either side: each thumbnail pixel takes the block of pixels whose scaled position
// falls on it.
BitmapResult Shrink(formats::PixelRows& rows, ImageSize from, ImageSize size, const formats::ByteSource& source) {
  BitmapResult result{{size, std::vector<std::uint8_t>(std::size_t{size.width} * size.height * 4)}, Fault::kNone, {}};
  std::vector<std::uint32_t> column(from.width);
  for (std::uint32_t x = 0; x < from.width; ++x) {
    column[x] = static_cast<std::uint32_t>(std::uint64_t{x} * size.width / from.width);
  }
  std::vector<PixelSums> sums(size.width);
  const auto putRow = [&](std::uint32_t row) {
    std::uint8_t* out = result.bitmap.bgra.data() + std::size_t{row} * size.width * 4;
    for (PixelSums& pixel : sums) {
      Put(pixel, out);
      out += 4;
      pixel = {};
    }
  };
  const std::size_t rowBytes = std::size_t{from.width} * kM32BytesPerPixel;
  std::uint32_t thumbnailRow = 0;
  for (std::uint32_t first = 0, count = 0; first < from.height; first += count) {
    count = static_cast<std::uint32_t>(std::min<std::size_t>(formats::RowsPerBlock(from.width), from.height - first));
    const std::span<const std::uint8_t> block = rows.Rows(first, count);
    if (block.empty()) return Failure(Fault::kReadFailed, source.Error());
    for (std::uint32_t i = 0; i < count; ++i) {
      const auto row = static_cast<std::uint32_t>(std::uint64_t{first + i} * size.height / from.height);
      if (row != thumbnailRow) putRow(std::exchange(thumbnailRow, row));
      const std::uint8_t* pixel = block.data() + i * rowBytes;
      for (std::uint32_t x = 0; x < from.width; ++x, pixel += kM32BytesPerPixel) Add(sums[column[x]], pixel);
    }
  }
  putRow(thumbnailRow);
  return result;
}

bool Inside(const Rectangle& area, const MipLevel& level) {
  if (area.x < 0 || area.y < 0 || area.width < 0 || area.height < 0) return false;
  const auto x = static_cast<std::uint32_t>(area.x), y = static_cast<std::uint32_t>(area.y);
  return x <= level.width && static_cast<std::uint32_t>(area.width) <= level.width - x && y <= level.height &&
         static_cast<std::uint32_t>(area.height) <= level.height - y;
}

}  // namespace

Fault HeaderFault(const formats::ByteSource& source) {
  return source.Error().empty() ? Fault::kNotM32 : Fault::kReadFailed;
}

BitmapResult ReadThumbnail(formats::ByteSource& source, std::uint32_t limit) {
  if (limit == 0) return Failure(Fault::kBadArgument, "a thumbnail of 0 pixels");
  formats::TexturePreview texture(source);
  const MipLevel level0 = texture.Header().level0;
  if (!texture.Header().Ok()) return Failure(HeaderFault(source), texture.Header().error);
  const ImageSize size = formats::FitWithin({level0.width, level0.height}, std::min(limit, kLargestThumbnail));
  if (!texture.Pick({.width = size.width, .height = size.height}))
    return Failure(HeaderFault(source), texture.Header().error);
  return Shrink(texture, texture.Size(), size, source);
}

Fault CopyLevel0(formats::ByteSource& source, const MipLevel& level0, const Rectangle& area, std::uint64_t stride,
                 std::span<std::uint8_t> out) {
  if (!Inside(area, level0)) return Fault::kBadArgument;
  if (area.width == 0 || area.height == 0) return Fault::kNone;
  const std::uint64_t areaRowBytes = std::uint64_t{static_cast<std::uint32_t>(area.width)} * 4;
  if (stride < areaRowBytes) return Fault::kBadArgument;
  // The last row ends stride * (height - 1) + areaRowBytes into `out`; compared by
  // division, so that nothing overflows.
  const auto height = static_cast<std::uint32_t>(area.height);
  if (out.size() < areaRowBytes || height - 1 > (out.size() - areaRowBytes) / stride) return Fault::kBufferTooSmall;
  formats::Level0Rows rows(source, level0);
  const std::size_t rowBytes = std::size_t{level0.width} * kM32BytesPerPixel;
  const std::size_t skipped = static_cast<std::size_t>(area.x) * kM32BytesPerPixel;
  for (std::uint32_t done = 0, count = 0; done < height; done += count) {
    count = static_cast<std::uint32_t>(std::min<std::size_t>(formats::RowsPerBlock(level0.width), height - done));
    const std::span<const std::uint8_t> block = rows.Rows(static_cast<std::uint32_t>(area.y) + done, count);
    if (block.empty()) return Fault::kReadFailed;
    for (std::uint32_t i = 0; i < count; ++i) {
      formats::SwapRedAndBlue(block.data() + i * rowBytes + skipped, out.data() + (done + i) * stride,
                              static_cast<std::uint32_t>(area.width));
    }
  }
  return Fault::kNone;
}

}  // namespace shell
