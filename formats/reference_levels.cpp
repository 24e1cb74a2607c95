#include "formats/reference_levels.h"

#include <algorithm>
#include <utility>

namespace formats {

ReferenceLevels::ReferenceLevels(ByteSource& source, std::vector<MipLevel> levels, std::size_t bytesPerPixel)
    : source_(source),
      levels_(std::move(levels)),
      bytesPerPixel_(bytesPerPixel),
      rows_(source, levels_.at(0), bytesPerPixel) {}

std::span<const std::uint8_t> ReferenceLevels::NextRow() {
  const MipLevel& level0 = levels_[0];
  const std::size_t rowBytes = std::size_t{level0.width} * bytesPerPixel_;
  if (!error_.empty()) return {};
  if (next_ >= level0.height) {
    error_ = "the reference has no more rows";
    return {};
  }
  if (next_ == blockFirst_ + block_.size() / rowBytes) {
    blockFirst_ = next_;
    block_ = rows_.Rows(next_, std::min<std::size_t>(rows_.BlockRows(), level0.height - next_));
    if (block_.empty()) {
      error_ = source_.Error().empty() ? "the reference cannot be read" : source_.Error();
      return {};
    }
  }
  return block_.subspan((next_++ - blockFirst_) * rowBytes, rowBytes);
}

ReferenceLevels::Kept ReferenceLevels::KeepMips(std::span<const MipLevel> ours, PositionedSink& sink) {
  if (ours.size() != levels_.size()) return Kept::kUnlike;
  for (std::size_t i = 1; i < ours.size(); ++i) {
    const MipLevel& theirs = levels_[i];
    if (theirs.width != ours[i].width || theirs.height != ours[i].height) return Kept::kUnlike;
    // Sides no larger than level 0's keep the byte count far from overflow.
    const std::uint64_t bytes = std::uint64_t{theirs.width} * theirs.height * bytesPerPixel_;
    if (theirs.offset > source_.Size() || bytes > source_.Size() - theirs.offset) return Kept::kUnlike;
  }
  std::vector<std::uint8_t> buffer;
  for (std::size_t i = 1; i < ours.size(); ++i) {
    const std::uint64_t bytes = std::uint64_t{ours[i].width} * ours[i].height * bytesPerPixel_;
    for (std::uint64_t done = 0; done < bytes;) {
      buffer.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, bytes - done)));
      if (!source_.ReadAt(levels_[i].offset + done, buffer)) {
        error_ = source_.Error();
        return Kept::kFailed;
      }
      if (!sink.WriteAt(ours[i].offset + done, buffer)) return Kept::kFailed;
      done += buffer.size();
    }
  }
  return Kept::kKept;
}

}  // namespace formats
