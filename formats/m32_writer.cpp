#include "formats/m32_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "formats/linear_light.h"
#include "formats/pixel_loops.h"
#include "system/number_text.h"

namespace formats {

using sys::WithSeparators;

namespace {

constexpr std::size_t kNameAt = 4;
constexpr std::size_t kNameBytes = 128;  // NUL-terminated, so 127 bytes of name at most
constexpr std::size_t kScaleXAt = 720;
constexpr std::size_t kScaleYAt = 724;
constexpr std::size_t kDetailScaleXAt = 860;
constexpr std::size_t kDetailScaleYAt = 864;
constexpr std::uint64_t kLargestFile = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t kRgbaBytes = kM32BytesPerPixel;
constexpr std::size_t kAlpha = 3;
// Bytes a level collects before it writes them: level 0 writes most, so more at once.
constexpr std::size_t kLevel0WriteBytes = kChunkBytes;
constexpr std::size_t kMipWriteBytes = std::size_t{64} * 1024;

void PutU32(M32Header& header, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) header[at + i] = static_cast<std::uint8_t>(value >> (8 * i) & 0xFF);
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

}  // namespace

std::uint32_t BlockSpan(std::uint32_t side, std::uint32_t index) {
  if (side == 1) return 1;
  return index + 1 == HalfSide(side) ? side - 2 * index : 2;
}

M32Layout ChainLevels(MipLevel level0, std::uint64_t pixelBytes, std::size_t mostLevels) {
  M32Layout layout;
  std::uint64_t offset = level0.offset;
  for (MipLevel level = level0;; level = {HalfSide(level.width), HalfSide(level.height), 0}) {
    level.offset = offset;
    layout.levels.push_back(level);
    offset += std::uint64_t{level.width} * level.height * pixelBytes;
    if ((level.width == 1 && level.height == 1) || layout.levels.size() >= mostLevels) break;
  }
  layout.fileSize = offset;
  return layout;
}

M32Layout LayOutM32(std::uint32_t width, std::uint32_t height, std::size_t mostLevels) {
  M32Layout layout;
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    layout.error =
        "an m32 cannot hold an image of " + WithSeparators(width) + " x " + WithSeparators(height) + " pixels";
    return layout;
  }
  layout = ChainLevels({width, height, kM32HeaderBytes}, kRgbaBytes, mostLevels);
  if (layout.fileSize > kLargestFile) {
    layout.error = "too large for an m32: its " + WithSeparators(layout.levels.size()) + " levels take " +
                   WithSeparators(layout.fileSize) + " bytes, past the " + WithSeparators(kLargestFile) +
                   " its 32-bit offsets reach";
  }
  return layout;
}

M32Header DefaultM32Header(std::string_view name) {
  M32Header header{};
  PutU32(header, kM32VersionAt, static_cast<std::uint32_t>(kM32Version));
  std::copy_n(name.begin(), std::min(name.size(), kNameBytes - 1), header.begin() + kNameAt);
  const auto one = std::bit_cast<std::uint32_t>(1.0f);
  for (const std::size_t at : {kScaleXAt, kScaleYAt, kDetailScaleXAt, kDetailScaleYAt}) PutU32(header, at, one);
  return header;
}

void PutLevels(const M32Layout& layout, M32Header& header) {
  for (std::size_t i = 0; i < kM32Levels; ++i) {
    const MipLevel level = i < layout.levels.size() ? layout.levels[i] : MipLevel{};
    PutU32(header, kM32WidthsAt + 4 * i, level.width);
    PutU32(header, kM32HeightsAt + 4 * i, level.height);
    PutU32(header, kM32OffsetsAt + 4 * i, static_cast<std::uint32_t>(level.offset));
  }
}

void HalveRows(std::span<const std::uint8_t* const> rows, std::uint32_t width, std::span<std::uint8_t> half,
               MipAverage average) {
  const std::uint32_t halfWidth = HalfSide(width);
  const bool linear = average == MipAverage::kLinear;
  // The blocks 2 x 2: all of them but a last one 3 wide, when there are two rows.
  const std::uint32_t squares = rows.size() == 2 && width > 1 ? width / 2 - width % 2 : 0;
  if (linear) {
    AverageSquaresInLinearLight(rows[0], rows[1], half.data(), squares);
  } else {
    AverageSquares(rows[0], rows[1], half.data(), squares);
  }
  for (std::uint32_t x = squares; x < halfWidth; ++x) {
    const std::size_t column = std::size_t{2} * x;
    std::uint8_t* out = &half[std::size_t{x} * kRgbaBytes];
    if (linear) {
      AverageInLinearLight(rows, column, BlockSpan(width, x), out);
    } else {
      AverageBlock(rows, column, BlockSpan(width, x), out);
    }
  }
}

// One level: its rows collected and written a chunk at a time, each write ending on a
// page boundary of the file where it can, as the file system writes whole pages more
// cheaply. The rows of a block row not yet halved stay in the buffer until it is.
class M32Writer::Level {
 public:
  Level(const MipLevel& shape, std::size_t writeBytes, MipAverage average)
      : shape_(shape),
        average_(average),
        rowBytes_(std::size_t{shape.width} * kRgbaBytes),
        // No more than the level holds: a small texture's sixteen levels need little.
        capacity_(std::max(std::min(writeBytes, rowBytes_ * shape.height), 3 * rowBytes_ + kPageBytes)),
        writeAt_(shape.offset),
        buffer_(capacity_) {}

  bool Complete() const { return rowsGiven_ == shape_.height; }

  // Room for the next row, made by writing out what can go; empty when the level has
  // all its rows or a write failed.
  std::span<std::uint8_t> Slot(PositionedSink& sink) {
    if (Complete()) return {};
    if (used_ + rowBytes_ > capacity_ && !WriteOut(BytesToPageEnd(), sink)) return {};
    return {buffer_.data() + used_, rowBytes_};
  }

  // Takes the next row, copying it unless it was filled in where Slot() said.
  bool Put(std::span<const std::uint8_t> row, PositionedSink& sink) {
    const std::span<std::uint8_t> slot = Slot(sink);
    if (slot.empty() || row.size() != rowBytes_) return false;
    if (row.data() != slot.data()) std::memcpy(slot.data(), row.data(), rowBytes_);
    used_ += rowBytes_;
    ++rowsGiven_;
    return true;
  }

  bool Flush(PositionedSink& sink) { return WriteOut(used_, sink); }

  // Holds the row just put; true when it completes a block row, which Halve() then takes.
  bool Hold() {
    ++heldRows_;
    return heldRows_ == BlockSpan(shape_.height, halvedRows_);
  }

  std::span<const std::uint8_t> Halve() {
    std::array<const std::uint8_t*, 3> rows{};
    const std::uint8_t* first = buffer_.data() + used_ - heldRows_ * rowBytes_;
    for (std::size_t i = 0; i < heldRows_; ++i) rows[i] = first + i * rowBytes_;
    half_.resize(std::size_t{HalfSide(shape_.width)} * kRgbaBytes);
    HalveRows(std::span(rows).first(heldRows_), shape_.width, half_, average_);
    heldRows_ = 0;
    ++halvedRows_;
    return half_;
  }

 private:
  static constexpr std::uint64_t kPageBytes = 4096;

  // What can go now: the bytes before the held rows, up to the last page boundary.
  std::size_t BytesToPageEnd() const {
    const std::size_t free = used_ - heldRows_ * rowBytes_;
    const std::uint64_t end = writeAt_ + free;
    const std::uint64_t pageEnd = end - end % kPageBytes;
    return pageEnd > writeAt_ ? static_cast<std::size_t>(pageEnd - writeAt_) : free;
  }

  bool WriteOut(std::size_t bytes, PositionedSink& sink) {
    if (bytes == 0) return true;
    if (!sink.WriteAt(writeAt_, std::span(buffer_).first(bytes))) return false;
    writeAt_ += bytes;
    std::memmove(buffer_.data(), buffer_.data() + bytes, used_ - bytes);
    used_ -= bytes;
    return true;
  }

  MipLevel shape_;
  MipAverage average_;
  std::size_t rowBytes_;
  std::size_t capacity_;
  std::uint64_t writeAt_;
  std::uint32_t rowsGiven_ = 0;
  std::vector<std::uint8_t> buffer_;  // the first used_ bytes are rows to write
  std::size_t used_ = 0;
  std::size_t heldRows_ = 0;
  std::uint32_t halvedRows_ = 0;
  std::vector<std::uint8_t> half_;
};

M32Writer::M32Writer(const M32Layout& layout, PositionedSink& sink, MipAverage average) : sink_(sink) {
  for (const MipLevel& level : layout.levels) {
    levels_.push_back(std::make_unique<Level>(level, levels_.empty() ? kLevel0WriteBytes : kMipWriteBytes, average));
  }
  failed_ = levels_.empty() || !layout.error.empty();
}

M32Writer::~M32Writer() = default;

std::span<std::uint8_t> M32Writer::NextRow() {
  const std::span<std::uint8_t> slot = failed_ ? std::span<std::uint8_t>{} : levels_[0]->Slot(sink_);
  failed_ = slot.empty();
  return slot;
}

bool M32Writer::AddRow(std::span<const std::uint8_t> rgba) {
  std::span<const std::uint8_t> row = rgba;
  for (std::size_t i = 0; !failed_ && i < levels_.size(); ++i) {
    Level& level = *levels_[i];
    failed_ = !level.Put(row, sink_);
    if (failed_ || i + 1 == levels_.size() || !level.Hold()) break;
    row = level.Halve();
  }
  return !failed_;
}

bool M32Writer::Finish() {
  for (const auto& level : levels_) failed_ = failed_ || !level->Complete() || !level->Flush(sink_);
  return !failed_;
}

}  // namespace formats
