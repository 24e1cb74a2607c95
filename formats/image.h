// What the codecs take and give, whatever the format: bytes read at any offset, bytes
// written in order or at offsets, and images a row or a block of rows at a time, so
// that no image need ever be whole in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

namespace formats {

// Bytes read at any offset, a piece at a time: a file, or memory.
class ByteSource {
 public:
  virtual std::uint64_t Size() const = 0;  // as it was when first seen
  // Fills `bytes` from `offset` on; false, with Error() saying why, when the source
  // cannot give all of them.
  virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) = 0;
  virtual const std::string& Error() const = 0;  // the first failure, if any

 protected:
  ~ByteSource() = default;
};

// The bytes of a file already in memory.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override;
  const std::string& Error() const override { return error_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::string error_;
};

// Any object that reads as a ByteSource does (a file of the system layer, which knows
// nothing of this interface) as one.
template <class Source>
class SourceOf final : public ByteSource {
 public:
  explicit SourceOf(Source& source) : source_(source) {}
  std::uint64_t Size() const override { return source_.Size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override { return source_.ReadAt(offset, bytes); }
  const std::string& Error() const override { return source_.Error(); }

 private:
  Source& source_;
};

// Where encoded bytes go, a piece at a time; false stops the encoder. Encoders hand it
// pieces no larger than kChunkBytes (pixel_loops.h).
class ByteSink {
 public:
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;

 protected:
  ~ByteSink() = default;
};

// Where the file's bytes go, each piece at its own offset, in any order.
class PositionedSink {
 public:
  virtual bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
  // Reads back bytes written before; false where that cannot be done.
  virtual bool ReadAt(std::uint64_t, std::span<std::uint8_t>) { return false; }
  // The whole file's size, known before the first write; a hint.
  virtual void Reserve(std::uint64_t) {}

 protected:
  ~PositionedSink() = default;
};

// Any object that writes as ByteSink and PositionedSink do (an output file of the system
// layer) as both.
template <class Sink>
class SinkOf final : public ByteSink, public PositionedSink {
 public:
  explicit SinkOf(Sink& sink) : sink_(sink) {}
  bool Write(std::span<const std::uint8_t> bytes) override { return sink_.Write(bytes); }
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    return sink_.WriteAt(offset, bytes);
  }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override { return sink_.ReadAt(offset, bytes); }
  void Reserve(std::uint64_t bytes) override { sink_.Reserve(bytes); }

 private:
  Sink& sink_;
};

// Where the pixels come from, a block of rows at a time (no larger than kChunkBytes, one
// row at least), so that a large image need never be whole in memory.
class PixelRows {
 public:
  // `count` rows of pixels (4-byte RGBA, or where said one-byte palette indices)
  // starting at row `first` counted from the top, top row first; empty when they cannot
  // be had, which stops the encoder.
  virtual std::span<const std::uint8_t> Rows(std::size_t first, std::size_t count) = 0;

 protected:
  ~PixelRows() = default;
};

struct ImageSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// An image read a row at a time, top row first, whatever its file's format.
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
    virtual std::span<const std::uint8_t> PaletteColours() const { return {}; }
    virtual bool ReadIndexRow(std::span<std::uint8_t>) { return false; }
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

  // An image of palette indices (a palette PNG): its palette, red, green and blue for
  // each entry as the file holds them, and each row as its indices, Width() bytes, in
  // place of ReadRow. Empty, and false, for any other image.
  std::span<const std::uint8_t> PaletteColours() const { return rows_->PaletteColours(); }
  bool ReadIndexRow(std::span<std::uint8_t> indices) { return rows_->ReadIndexRow(indices); }

 protected:
  explicit RowReader(std::unique_ptr<Rows> rows) : rows_(std::move(rows)) {}

 private:
  std::unique_ptr<Rows> rows_;
};

}  // namespace formats
