// What m8 and WAL textures share: levels of one palette index per pixel, rows from the
// top down, each level where the header's offset puts it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/image.h"
#include "formats/m32.h"
#include "formats/palette.h"
#include "formats/tga_writer.h"

namespace formats {

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t at);
void PutU32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value);

// Level 0 of either format: sides of 1 to 65,535 (what a TGA holds), its indices wholly
// inside the file, counted without overflow.
HeaderResult CheckLevel0(const MipLevel& level, std::uint64_t fileSize);

// The smallest level of `levels` (level 0 first, already checked) that meets `floor`,
// or level 0. A smaller level is picked only when it lies wholly inside the file and is
// no larger than the last level trusted before it; the chain ends at a side of 0.
LevelPick PickLevel(const HeaderResult& header, std::span<const MipLevel> levels, std::uint64_t fileSize,
                    LevelFloor floor);

// A level's pixels (indices, or `bytesPerPixel` bytes each) read a block of rows at a time
// into one reusable buffer of at most kChunkBytes (one row at least), so that a
// large image is never whole in memory.
class LevelRows final : public PixelRows {
 public:
  LevelRows(ByteSource& source, const MipLevel& level, std::size_t bytesPerPixel = 1)
      : source_(source), level_(level), rowBytes_(std::uint64_t{level.width} * bytesPerPixel) {}
  // `count` rows from row `first`; empty when the source fails or the rows are not there.
  std::span<const std::uint8_t> Rows(std::size_t first, std::size_t count) override;
  // How many rows one block holds.
  std::size_t BlockRows() const;

 private:
  ByteSource& source_;
  MipLevel level_;
  std::uint64_t rowBytes_;
  std::vector<std::uint8_t> buffer_;
};

// Rows of indices as RGBA through the palette, opaque, for the TGA and PNG writers and
// the previews.
class PaletteRows final : public PixelRows {
 public:
  PaletteRows(PixelRows& indices, const Palette& palette) : indices_(indices), palette_(palette) {}
  std::span<const std::uint8_t> Rows(std::size_t first, std::size_t count) override;

 private:
  PixelRows& indices_;
  Palette palette_;
  std::vector<std::uint8_t> rgba_;
};

// Each index's colour, opaque: `rgba` holds 4 bytes for each of `indices`.
void Colour(std::span<const std::uint8_t> indices, const Palette& palette, std::uint8_t* rgba);

// Level 0 read as RGBA rows, top row first, as the TGA and PNG readers give theirs; the
// header's error when it failed its checks.
class IndexedReader final : public RowReader {
 public:
  IndexedReader(ByteSource& source, const HeaderResult& header, const Palette& palette);
};

}  // namespace formats
