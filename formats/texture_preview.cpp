#include "formats/texture_preview.h"

#include <array>

namespace formats {
namespace {

// The version both formats begin with, told apart by it: 4 for m32, 2 for m8.
bool BeginsAsM8(ByteSource& source) {
  std::array<std::uint8_t, 4> version{};
  return source.Size() >= version.size() && source.ReadAt(0, version) &&
         static_cast<std::int32_t>(ReadU32(version, 0)) == kM8Version;
}

}  // namespace

TexturePreview::TexturePreview(ByteSource& source, bool m8) : source_(source), m8_(m8 || BeginsAsM8(source)) {
  if (!source.Error().empty()) {
    pick_.header.error = source.Error();
  } else if (m8_) {
    M8Read read = ReadM8Header(source);
    m8Header_ = read.header;
    pick_.header = read.level0;
  } else {
    pick_.header = ReadM32Header(source);
  }
}

bool TexturePreview::Pick(LevelFloor floor) {
  if (!Header().Ok()) return false;
  pick_ = m8_ ? PickM8Level(m8Header_, source_.Size(), floor) : ReadM32Level(source_, floor);
  if (!Header().Ok()) return false;
  size_ = SampledSize(pick_.level, floor);
  level_.emplace(source_, pick_.level, size_, m8_ ? 1 : kM32BytesPerPixel);
  if (m8_) colours_.emplace(*level_, M8Palette(m8Header_));
  return true;
}

std::span<const std::uint8_t> TexturePreview::Rows(std::size_t first, std::size_t count) {
  if (colours_) return colours_->Rows(first, count);
  if (level_) return level_->Rows(first, count);
  return {};
}

}  // namespace formats
