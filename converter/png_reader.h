// Reading PNG images a row at a time, top row first, through libspng.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "m32.h"

namespace m32tga {

// Any PNG (grey, grey and alpha, RGB, RGBA, palette; 1 to 16 bits; interlaced or not)
// read as 4-byte RGBA rows from the top down: 16-bit samples rounded to 8, a tRNS chunk
// made alpha, gamma and colour profiles read past but not applied. Before anything is
// decoded the chunks are walked by their lengths: the file must hold each of them whole
// up to IEND, sides an m32 can hold, and enough compressed data for the declared image
// (deflate makes at most 1,032 bytes of each), so that a small hostile file never makes
// the converter reserve much. Memory stays a few rows, except for an interlaced image,
// which is decoded whole.
class PngReader {
 public:
  explicit PngReader(ByteSource& source);
  ~PngReader();
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  // Empty while the file reads well; otherwise what is wrong with it, or why the source
  // could not be read.
  const std::string& Error() const;
  std::uint32_t Width() const;
  std::uint32_t Height() const;

  // The next row from the top, Width() * 4 bytes of red, green, blue, alpha; false,
  // with Error() saying why, when the file is malformed there or all rows were read.
  // The rest of the file up to IEND is checked with the last row.
  bool ReadRow(std::span<std::uint8_t> rgba);

 private:
  class State;
  std::unique_ptr<State> state_;
};

}  // namespace m32tga
