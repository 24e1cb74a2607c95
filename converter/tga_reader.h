// Reading TGA images a row at a time, top row first: the layout is described at the top
// of tga_reader.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "m32.h"
#include "row_reader.h"

namespace m32tga {

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

// A TGA image of any of the types 1, 2, 3, 9, 10 and 11, read as 4-byte RGBA rows from
// the top of the image down, whatever order the file stores them in. Everything the
// header says is checked against the file before the first row is read; a run-length
// file stored bottom row first is walked through once to find where each row starts.
// Memory stays a few rows whatever the image's size: an index entry per row at most.
class TgaReader final : public RowReader {
 public:
  explicit TgaReader(ByteSource& source);
};

}  // namespace m32tga
