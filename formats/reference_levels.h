// The levels of the texture a conversion is like (--like), kept byte for byte when the
// image comes back with level 0 as it was: an untouched texture then goes round trip
// unchanged, whatever tool made its smaller levels. Any format of levels of fixed bytes
// per pixel: m8 and WAL (1), m32 (4).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/indexed.h"
#include "formats/m32_writer.h"

namespace formats {

class ReferenceLevels {
 public:
  // `levels` as the reference's header names them, level 0 first and already checked.
  ReferenceLevels(ByteSource& source, std::vector<MipLevel> levels, std::size_t bytesPerPixel);

  const MipLevel& Level0() const { return levels_[0]; }
  std::size_t LevelCount() const { return levels_.size(); }
  bool SameSides(std::uint32_t width, std::uint32_t height) const {
    return levels_[0].width == width && levels_[0].height == height;
  }
  // Level 0's rows in turn from the top; empty, with Error() saying why, when the source
  // fails or every row was given.
  std::span<const std::uint8_t> NextRow();
  const std::string& Error() const { return error_; }

  enum class Kept { kKept, kUnlike, kFailed };
  // Copies the reference's levels after level 0 to where `ours` puts them, when they are
  // as many, of the same sides, each wholly inside the reference's file: kUnlike, with
  // nothing written, when not; kFailed when the source or the sink failed.
  Kept KeepMips(std::span<const MipLevel> ours, PositionedSink& sink);

 private:
  ByteSource& source_;
  std::vector<MipLevel> levels_;
  std::size_t bytesPerPixel_;
  LevelRows rows_;
  std::span<const std::uint8_t> block_;
  std::size_t blockFirst_ = 0;
  std::size_t next_ = 0;
  std::string error_;
};

}  // namespace formats
