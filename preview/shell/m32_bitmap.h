// m32 textures as 32-bit BGRA bitmaps for Windows' shell and imaging component: a
// thumbnail made from the smallest mip level that is large enough (of an m8 too, told by
// its content, through its palette), and any rectangle of level 0. Plain C++ over the
// converter's header check and row reader, so that it builds and is fuzzed on every
// platform; the COM objects of the DLL only wrap it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/m32.h"

namespace shell {

// What kept a texture from giving its pixels; the COM side gives each its own result.
enum class Fault {
  kNone,
  kNotM32,          // the header was refused: not a texture we read, or a damaged one
  kReadFailed,      // the stream could not give bytes it claimed to hold
  kBadArgument,     // a rectangle outside the image, a stride too short, a size of 0
  kBufferTooSmall,  // the caller's buffer cannot hold the rectangle at its stride
};

// Four bytes a pixel, blue, green, red, alpha, the colour not multiplied by the alpha;
// rows top-down with no padding.
struct Bitmap {
  formats::ImageSize size;
  std::vector<std::uint8_t> bgra;
};

struct BitmapResult {
  Bitmap bitmap;
  Fault fault = Fault::kNone;
  std::string reason;  // what the reader said, for a fault
  bool Ok() const { return fault == Fault::kNone; }
};

// No thumbnail is made larger than this a side, whatever is asked: a file manager's
// largest view is smaller, and a bitmap of a 65,535-pixel texture would not be.
inline constexpr std::uint32_t kLargestThumbnail = 2560;

// The thumbnail of formats::FitWithin(level 0, limit), averaged down from the smallest sound mip
// level at least that large on each side, or from its sampled stand-in when that level
// is much larger (formats::SampledSize), read a block of rows at a time: time and memory
// follow the thumbnail, not the texture.
BitmapResult ReadThumbnail(formats::ByteSource& source, std::uint32_t limit);

// A piece of level 0, in pixels from its top left corner.
struct Rectangle {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// Copies `area` of the level 0 that ReadM32Header found into `out`, its rows `stride`
// bytes apart, reading the rows it covers through the converter's row reader. Nothing
// is written unless the rectangle lies inside the image and `out` holds it whole.
Fault CopyLevel0(formats::ByteSource& source, const formats::MipLevel& level0, const Rectangle& area,
                 std::uint64_t stride, std::span<std::uint8_t> out);

// The fault behind a refused header: the source's own failure, or the header itself.
Fault HeaderFault(const formats::ByteSource& source);

}  // namespace shell
