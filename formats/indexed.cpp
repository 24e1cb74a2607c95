#include "formats/indexed.h"

#include <algorithm>
#include <memory>

#include "system/number_text.h"

namespace formats {

using sys::WithSeparators;

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void PutU32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i) & 0xFF);
}

namespace {

// Both sides are at most 65,535 once checked, so the count fits 64 bits.
std::uint64_t LevelBytes(const MipLevel& level) { return std::uint64_t{level.width} * level.height; }

bool LiesInside(const MipLevel& level, std::uint64_t fileSize) {
  return level.offset <= fileSize && LevelBytes(level) <= fileSize - level.offset;
}

}  // namespace

HeaderResult CheckLevel0(const MipLevel& level, std::uint64_t fileSize) {
  const std::string sides = WithSeparators(level.width) + " x " + WithSeparators(level.height) + " pixels";
  if (level.width == 0 || level.height == 0) return {{}, "no image: level 0 is " + sides};
  if (level.width > kMaxSide || level.height > kMaxSide) {
    return {{}, "too large for a TGA: level 0 is " + sides + ", at most " + WithSeparators(kMaxSide) + " a side"};
  }
  if (level.offset > fileSize) {
    return {{},
            "level 0 starts at byte " + WithSeparators(level.offset) + ", past the end of the file (" +
                WithSeparators(fileSize) + " bytes)"};
  }
  if (!LiesInside(level, fileSize)) {
    return {{},
            "truncated: pixel data ends at byte " + WithSeparators(fileSize) + " of " +
                WithSeparators(level.offset + LevelBytes(level))};
  }
  return {level, {}};
}

LevelPick PickLevel(const HeaderResult& header, std::span<const MipLevel> levels, std::uint64_t fileSize,
                    LevelFloor floor) {
  LevelPick pick{header, 0, header.level0};
  if (!pick.Ok()) return pick;
  for (std::size_t index = 1; index < levels.size(); ++index) {
    const MipLevel& level = levels[index];
    if (level.width == 0 || level.height == 0) break;
    // Bounded by the level trusted before it, a level's byte count cannot overflow.
    if (level.width > pick.level.width || level.height > pick.level.height || !LiesInside(level, fileSize)) continue;
    if (level.width < floor.width || level.height < floor.height ||
        std::max(level.width, level.height) < floor.longerSide) {
      break;
    }
    pick.index = index;
    pick.level = level;
  }
  return pick;
}

std::size_t LevelRows::BlockRows() const {
  return static_cast<std::size_t>(std::max<std::uint64_t>(1, kChunkBytes / std::max<std::uint64_t>(1, rowBytes_)));
}

std::span<const std::uint8_t> LevelRows::Rows(std::size_t first, std::size_t count) {
  if (rowBytes_ == 0 || first > level_.height || count > level_.height - first || count > BlockRows()) return {};
  // Sides of at most 65,535 and 4 bytes a pixel keep these products far from overflow.
  buffer_.resize(static_cast<std::size_t>(count * rowBytes_));
  if (!source_.ReadAt(level_.offset + first * rowBytes_, buffer_)) return {};
  return buffer_;
}

void Colour(std::span<const std::uint8_t> indices, const Palette& palette, std::uint8_t* rgba) {
  for (const std::uint8_t index : indices) {
    const std::uint8_t* colour = palette.Colour(index);
    rgba[0] = colour[0];
    rgba[1] = colour[1];
    rgba[2] = colour[2];
    rgba[3] = 255;
    rgba += 4;
  }
}

std::span<const std::uint8_t> PaletteRows::Rows(std::size_t first, std::size_t count) {
  const std::span<const std::uint8_t> indices = indices_.Rows(first, count);
  if (indices.empty()) return {};
  rgba_.resize(indices.size() * 4);
  Colour(indices, palette_, rgba_.data());
  return rgba_;
}

namespace {

// Rows handed out one at a time from blocks read ahead.
class IndexedRows final : public RowReader::Rows {
 public:
  IndexedRows(ByteSource& source, const HeaderResult& header, const Palette& palette)
      : error_(header.error),
        level_(header.level0),
        source_(source),
        indices_(source, header.level0),
        palette_(palette) {}

  const std::string& Error() const override { return error_; }
  std::uint32_t Width() const override { return level_.width; }
  std::uint32_t Height() const override { return level_.height; }

  bool ReadRow(std::span<std::uint8_t> rgba) override {
    if (!error_.empty()) return false;
    if (next_ >= level_.height || rgba.size() != std::size_t{level_.width} * 4) {
      error_ = "no more rows";
      return false;
    }
    if (next_ == blockFirst_ + block_.size() / level_.width) {
      blockFirst_ = next_;
      block_ = indices_.Rows(next_, std::min<std::size_t>(indices_.BlockRows(), level_.height - next_));
      if (block_.empty()) {
        error_ = source_.Error().empty() ? "cannot read row " + WithSeparators(next_) : source_.Error();
        return false;
      }
    }
    Colour(block_.subspan((next_ - blockFirst_) * level_.width, level_.width), palette_, rgba.data());
    ++next_;
    return true;
  }

 private:
  std::string error_;
  MipLevel level_;
  ByteSource& source_;
  LevelRows indices_;
  Palette palette_;
  std::span<const std::uint8_t> block_;
  std::size_t blockFirst_ = 0;
  std::size_t next_ = 0;
};

}  // namespace

IndexedReader::IndexedReader(ByteSource& source, const HeaderResult& header, const Palette& palette)
    : RowReader(std::make_unique<IndexedRows>(source, header, palette)) {}

}  // namespace formats
