#include "m32_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "number_text.h"

namespace m32tga {
namespace {

constexpr std::size_t kVersionAt = 0;
constexpr std::int32_t kVersion = 4;
constexpr std::size_t kNameAt = 4;
constexpr std::size_t kNameBytes = 128;  // NUL-terminated, so 127 bytes of name at most
constexpr std::size_t kWidthsAt = 516;
constexpr std::size_t kHeightsAt = 580;
constexpr std::size_t kOffsetsAt = 644;
constexpr std::size_t kMaxLevels = 16;
constexpr std::size_t kScaleXAt = 720;
constexpr std::size_t kScaleYAt = 724;
constexpr std::size_t kDetailScaleXAt = 860;
constexpr std::size_t kDetailScaleYAt = 864;
constexpr std::uint64_t kLargestFile = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t kRgbaBytes = kM32BytesPerPixel;
constexpr std::size_t kAlpha = 3;
// Bytes a level collects before it writes them: level 0 writes most, so more at once.
constexpr std::size_t kLevel0WriteBytes = std::size_t{256} * 1024;
constexpr std::size_t kMipWriteBytes = std::size_t{64} * 1024;

void PutU32(M32Header& header, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) header[at + i] = static_cast<std::uint8_t>(value >> (8 * i) & 0xFF);
}

std::uint32_t Half(std::uint32_t side) { return std::max<std::uint32_t>(1, side / 2); }

std::uint64_t LevelBytes(const MipLevel& level) { return std::uint64_t{level.width} * level.height * kRgbaBytes; }

// Rows (or columns) of the side above that make up block `index` of the side below.
std::uint32_t BlockSpan(std::uint32_t side, std::uint32_t index) {
  if (side == 1) return 1;
  const bool last = index + 1 == Half(side);
  return last ? side - 2 * index : 2;
}

// The average of a block of `rowCount` x `columns` pixels from column `x`. With all
// alphas equal the weighed average is the plain one, so that one is taken, and a block
// wholly transparent keeps its colour.
void AverageBlock(std::span<const std::uint8_t* const> rows, std::size_t x, std::uint32_t columns, std::uint8_t* out) {
  std::array<std::uint32_t, kRgbaBytes> sum{};
  std::array<std::uint32_t, 3> weighed{};
  const std::uint8_t firstAlpha = rows[0][x * kRgbaBytes + kAlpha];
  bool alphasEqual = true;
  for (const std::uint8_t* row : rows) {
    for (std::size_t column = x; column < x + columns; ++column) {
      const std::uint8_t* pixel = row + column * kRgbaBytes;
      alphasEqual = alphasEqual && pixel[kAlpha] == firstAlpha;
      for (std::size_t c = 0; c < kRgbaBytes; ++c) sum[c] += pixel[c];
      for (std::size_t c = 0; c < 3; ++c) weighed[c] += std::uint32_t{pixel[c]} * pixel[kAlpha];
    }
  }
  const std::uint32_t count = static_cast<std::uint32_t>(rows.size()) * columns;
  for (std::size_t c = 0; c < kRgbaBytes; ++c) out[c] = static_cast<std::uint8_t>((sum[c] + count / 2) / count);
  if (alphasEqual) return;
  // Rounded to the nearest: (2n + d) / 2d. Not all alphas are 0, so the sum is not.
  const std::uint32_t alphaSum = sum[kAlpha];
  for (std::size_t c = 0; c < 3; ++c) out[c] = static_cast<std::uint8_t>((2 * weighed[c] + alphaSum) / (2 * alphaSum));
}

// The common block, 2 x 2 of one alpha, without the general loop.
bool AverageEvenBlock(const std::uint8_t* top, const std::uint8_t* bottom, std::uint8_t* out) {
  const std::uint8_t alpha = top[kAlpha];
  if (top[kAlpha + 4] != alpha || bottom[kAlpha] != alpha || bottom[kAlpha + 4] != alpha) return false;
  for (std::size_t c = 0; c < kRgbaBytes; ++c) {
    out[c] = static_cast<std::uint8_t>((top[c] + top[c + 4] + bottom[c] + bottom[c + 4] + 2u) >> 2);
  }
  return true;
}

}  // namespace

M32Layout LayOutM32(std::uint32_t width, std::uint32_t height) {
  M32Layout layout;
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    layout.error =
        "an m32 cannot hold an image of " + WithSeparators(width) + " x " + WithSeparators(height) + " pixels";
    return layout;
  }
  std::uint64_t offset = kM32HeaderBytes;
  for (MipLevel level{width, height, offset};; level = {Half(level.width), Half(level.height), offset}) {
    level.offset = offset;
    layout.levels.push_back(level);
    offset += LevelBytes(level);
    if (level.width == 1 && level.height == 1) break;
  }
  layout.fileSize = offset;
  if (layout.fileSize > kLargestFile) {
    layout.error = "too large for an m32: its " + WithSeparators(layout.levels.size()) + " levels take " +
                   WithSeparators(layout.fileSize) + " bytes, past the " + WithSeparators(kLargestFile) +
                   " its 32-bit offsets reach";
  }
  return layout;
}

M32Header DefaultM32Header(std::string_view name) {
  M32Header header{};
  PutU32(header, kVersionAt, static_cast<std::uint32_t>(kVersion));
  std::copy_n(name.begin(), std::min(name.size(), kNameBytes - 1), header.begin() + kNameAt);
  const auto one = std::bit_cast<std::uint32_t>(1.0f);
  for (const std::size_t at : {kScaleXAt, kScaleYAt, kDetailScaleXAt, kDetailScaleYAt}) PutU32(header, at, one);
  return header;
}

void PutLevels(const M32Layout& layout, M32Header& header) {
  for (std::size_t i = 0; i < kMaxLevels; ++i) {
    const MipLevel level = i < layout.levels.size() ? layout.levels[i] : MipLevel{};
    PutU32(header, kWidthsAt + 4 * i, level.width);
    PutU32(header, kHeightsAt + 4 * i, level.height);
    PutU32(header, kOffsetsAt + 4 * i, static_cast<std::uint32_t>(level.offset));
  }
}

void HalveRows(std::span<const std::uint8_t* const> rows, std::uint32_t width, std::span<std::uint8_t> half) {
  const std::uint32_t halfWidth = Half(width);
  for (std::uint32_t x = 0; x < halfWidth; ++x) {
    const std::uint32_t columns = BlockSpan(width, x);
    const std::size_t from = std::size_t{2} * x;
    std::uint8_t* out = &half[std::size_t{x} * kRgbaBytes];
    const bool even = rows.size() == 2 && columns == 2;
    if (even && AverageEvenBlock(rows[0] + from * kRgbaBytes, rows[1] + from * kRgbaBytes, out)) continue;
    AverageBlock(rows, from, columns, out);
  }
}

// One level: its write buffer, and the rows held until a block row of the next level
// is complete.
class M32Writer::Level {
 public:
  Level(const MipLevel& shape, std::size_t writeBytes)
      : shape_(shape),
        rowBytes_(std::size_t{shape.width} * kRgbaBytes),
        capacity_(std::max(rowBytes_, writeBytes)),
        writeAt_(shape.offset) {}

  std::size_t RowBytes() const { return rowBytes_; }
  bool Complete() const { return rowsGiven_ == shape_.height; }

  // Takes the next row; false when the level has all its rows or a write failed.
  bool Put(std::span<const std::uint8_t> row, PositionedSink& sink) {
    if (Complete() || row.size() != rowBytes_) return false;
    ++rowsGiven_;
    if (buffer_.size() + row.size() > capacity_ && !Flush(sink)) return false;
    buffer_.insert(buffer_.end(), row.begin(), row.end());
    return true;
  }

  bool Flush(PositionedSink& sink) {
    if (buffer_.empty()) return true;
    if (!sink.WriteAt(writeAt_, buffer_)) return false;
    writeAt_ += buffer_.size();
    buffer_.clear();
    return true;
  }

  // Holds the row just put; true when it completes a block row, which Halve() then takes.
  bool Hold(std::span<const std::uint8_t> row) {
    held_.resize(3 * rowBytes_);
    std::copy(row.begin(), row.end(), held_.begin() + static_cast<std::ptrdiff_t>(heldRows_ * rowBytes_));
    ++heldRows_;
    return heldRows_ == BlockSpan(shape_.height, halvedRows_);
  }

  std::span<const std::uint8_t> Halve() {
    std::array<const std::uint8_t*, 3> rows{};
    for (std::size_t i = 0; i < heldRows_; ++i) rows[i] = held_.data() + i * rowBytes_;
    half_.resize(std::size_t{Half(shape_.width)} * kRgbaBytes);
    HalveRows(std::span(rows).first(heldRows_), shape_.width, half_);
    heldRows_ = 0;
    ++halvedRows_;
    return half_;
  }

 private:
  MipLevel shape_;
  std::size_t rowBytes_;
  std::size_t capacity_;
  std::uint64_t writeAt_;
  std::uint32_t rowsGiven_ = 0;
  std::vector<std::uint8_t> buffer_;
  std::vector<std::uint8_t> held_;
  std::size_t heldRows_ = 0;
  std::uint32_t halvedRows_ = 0;
  std::vector<std::uint8_t> half_;
};

M32Writer::M32Writer(const M32Layout& layout, PositionedSink& sink) : sink_(sink) {
  for (const MipLevel& level : layout.levels) {
    levels_.push_back(std::make_unique<Level>(level, levels_.empty() ? kLevel0WriteBytes : kMipWriteBytes));
  }
  failed_ = levels_.empty() || !layout.error.empty();
}

M32Writer::~M32Writer() = default;

bool M32Writer::AddRow(std::span<const std::uint8_t> rgba) {
  std::span<const std::uint8_t> row = rgba;
  for (std::size_t i = 0; !failed_ && i < levels_.size(); ++i) {
    Level& level = *levels_[i];
    failed_ = !level.Put(row, sink_);
    if (failed_ || i + 1 == levels_.size() || !level.Hold(row)) break;
    row = level.Halve();
  }
  return !failed_;
}

bool M32Writer::Finish() {
  for (const auto& level : levels_) failed_ = failed_ || !level->Complete() || !level->Flush(sink_);
  return !failed_;
}

}  // namespace m32tga
