// An image read a row at a time, top row first, whatever its file's format.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

namespace m32tga {

class PositionedSink;

class RowReader {
 public:
  // What each format's reader does, in that format's own file.
  class Rows {
   public:
    virtual ~Rows() = default;
    virtual const std::string& Error() const = 0;
    virtual std::uint32_t Width() const = 0;
    virtual std::uint32_t Height() const = 0;
    virtual bool ReadRow(std::span<std::uint8_t> rgba) = 0;
    virtual void KeepRowsIn(PositionedSink&, std::uint64_t) {}
  };

  // Empty while the file reads well; otherwise what is wrong with it, or why the source
  // could not be read.
  const std::string& Error() const { return rows_->Error(); }
  std::uint32_t Width() const { return rows_->Width(); }
  std::uint32_t Height() const { return rows_->Height(); }

  // The next row from the top, Width() * 4 bytes of red, green, blue, alpha; false,
  // with Error() saying why, when the file is malformed there or all rows were read.
  bool ReadRow(std::span<std::uint8_t> rgba) { return rows_->ReadRow(rgba); }

  // Where a file whose rows do not come top first (an interlaced PNG) may put them
  // together before ReadRow gives them: rows of Width() * 4 bytes one after another from
  // `offset` of `store`, which must read back what was written there. The m32 writer
  // names level 0's own place in the output, where the same rows end up anyway. Without
  // it, such a file is refused rather than held in memory.
  void KeepRowsIn(PositionedSink& store, std::uint64_t offset) { rows_->KeepRowsIn(store, offset); }

 protected:
  explicit RowReader(std::unique_ptr<Rows> rows) : rows_(std::move(rows)) {}

 private:
  std::unique_ptr<Rows> rows_;
};

}  // namespace m32tga
