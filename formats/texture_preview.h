// What a preview reads of an m32 or m8 texture: the smallest mip level that meets what
// is asked, or its sampled stand-in, as RGBA rows; an m8's through its own palette,
// opaque. The Qt reader, the thumbnailer and Windows' shell all read through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "formats/image.h"
#include "formats/indexed.h"
#include "formats/m32.h"
#include "formats/m8.h"

namespace formats {

class TexturePreview final : public PixelRows {
 public:
  // Reads and checks the header: an m8's when `m8` says so or the file begins with the
  // m8 version, an m32's otherwise.
  TexturePreview(ByteSource& source, bool m8 = false);

  bool IsM8() const { return m8_; }
  // Level 0, or why the texture cannot be read.
  const HeaderResult& Header() const { return pick_.header; }
  // Picks the level for `floor` as PickM32Level and PickM8Level do; false, with the
  // reason in Header(), when the texture cannot be read.
  bool Pick(LevelFloor floor);
  // The size of the rows that Rows gives: the picked level's, or its stand-in's.
  ImageSize Size() const { return size_; }
  std::span<const std::uint8_t> Rows(std::size_t first, std::size_t count) override;

 private:
  ByteSource& source_;
  bool m8_ = false;
  M8Header m8Header_{};
  LevelPick pick_;
  ImageSize size_;
  std::optional<SampledRows> level_;
  std::optional<PaletteRows> colours_;
};

}  // namespace formats
