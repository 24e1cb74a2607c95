// libFuzzer target: any bytes as the stream Explorer or a program using Windows' imaging
// component hands pellicar-shell.dll, through what its COM objects call: a thumbnail of a
// size the input chooses, once more over a stream whose reads fail part-way, and a
// rectangle of level 0 copied at a stride into a buffer, all chosen by the input's last
// bytes. The sanitizers catch every out-of-bounds access; the checks below catch a
// thumbnail of the wrong size, a success over a read that failed, a copy that writes a
// wrong pixel or a byte outside the rectangle's rows, and a refusal of a sound request.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "formats/m32.h"
#include "formats/texture_preview.h"
#include "m32_bitmap.h"
#include "memory_file.h"

namespace {

void CheckThumbnail(std::span<const std::uint8_t> bytes, std::uint32_t limit, std::size_t failingRead) {
  MemoryFile file(bytes, failingRead);
  const shell::BitmapResult thumbnail = shell::ReadThumbnail(file, limit);
  if (!thumbnail.Ok()) {
    if (thumbnail.reason.empty()) __builtin_trap();
    return;
  }
  if (file.Reads() > failingRead) __builtin_trap();  // a read failed, yet a thumbnail came
  MemoryFile whole(bytes, MemoryFile::kNeverFails);
  const formats::HeaderResult header = formats::TexturePreview(whole).Header();
  if (!header.Ok()) __builtin_trap();
  const formats::ImageSize expected = formats::FitWithin({header.level0.width, header.level0.height}, limit);
  const formats::ImageSize& size = thumbnail.bitmap.size;
  if (size.width != expected.width || size.height != expected.height || size.width == 0 || size.height == 0 ||
      thumbnail.bitmap.bgra.size() != std::size_t{size.width} * size.height * 4) {
    __builtin_trap();
  }
}

// `next` gives the request's numbers.
void CheckCopy(std::span<const std::uint8_t> bytes, auto& next) {
  MemoryFile file(bytes, MemoryFile::kNeverFails);
  const formats::HeaderResult header = formats::ReadM32Header(file);
  if (!header.Ok()) return;
  const formats::MipLevel& level = header.level0;
  // Mostly inside the image, sometimes past an edge or before it.
  const auto pick = [&](std::uint32_t side) {
    return static_cast<std::int32_t>(next() % (side + 3)) - static_cast<std::int32_t>(next() % 2);
  };
  const shell::Rectangle area{pick(level.width), pick(level.height), pick(level.width), pick(level.height)};
  const std::int64_t rowBytes = std::int64_t{area.width} * 4;
  const std::int64_t stride = rowBytes + static_cast<std::int64_t>(next() % 9) - 1;
  const std::int64_t needed = stride * (area.height - 1) + rowBytes;
  const std::int64_t shortBy = next() % 3 == 0 ? 1 : 0;
  constexpr std::uint8_t kUntouched = 0xA5;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::max<std::int64_t>(0, needed)) + 16, kUntouched);
  const std::span out(buffer.data(), static_cast<std::size_t>(std::max<std::int64_t>(0, needed - shortBy)));
  const shell::Fault fault =
      shell::CopyLevel0(file, level, area, static_cast<std::uint64_t>(std::max<std::int64_t>(0, stride)), out);

  const bool inside = area.x >= 0 && area.y >= 0 && area.width >= 0 && area.height >= 0 &&
                      std::int64_t{area.x} + area.width <= level.width &&
                      std::int64_t{area.y} + area.height <= level.height;
  const bool empty = area.width == 0 || area.height == 0;
  const shell::Fault expected = !inside || (!empty && stride < rowBytes) ? shell::Fault::kBadArgument
                                : !empty && shortBy > 0                  ? shell::Fault::kBufferTooSmall
                                                                         : shell::Fault::kNone;
  if (fault != expected) __builtin_trap();
  // Each pixel of the rectangle in its place as BGRA; every other byte as it was.
  std::vector<std::uint8_t> wanted(buffer.size(), kUntouched);
  for (std::int32_t y = 0; fault == shell::Fault::kNone && !empty && y < area.height; ++y) {
    for (std::int32_t x = 0; x < area.width; ++x) {
      const std::uint8_t* rgba =
          bytes.data() + level.offset + ((std::uint64_t(area.y) + y) * level.width + area.x + x) * 4;
      std::uint8_t* bgra = wanted.data() + y * stride + x * 4;
      bgra[0] = rgba[2], bgra[1] = rgba[1], bgra[2] = rgba[0], bgra[3] = rgba[3];
    }
  }
  if (buffer != wanted) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  std::size_t used = 0;  // the request's numbers come from the input's end; 0 where it is too short
  const auto next = [&]() -> std::uint32_t { return used < size ? data[size - ++used] : 0; };
  const std::uint32_t limit = next() << 2 | next() % 4;  // 0 to 1,023
  CheckThumbnail(bytes, limit, MemoryFile::kNeverFails);
  CheckThumbnail(bytes, limit, next() % 6);
  CheckCopy(bytes, next);
  return 0;
}
