// Reading PNG images a row at a time, top row first, through libspng.
#pragma once

#include "formats/image.h"
#include "formats/m32.h"

namespace formats {

// Any PNG (grey, grey and alpha, RGB, RGBA, palette; 1 to 16 bits; interlaced or not)
// read as 4-byte RGBA rows from the top down: 16-bit samples rounded to 8, a tRNS chunk
// made alpha, gamma and colour profiles read past but not applied. Before anything is
// decoded the chunks are walked by their lengths: the file must hold each of them whole
// up to IEND, sides an m32 can hold, and enough compressed data for the declared image
// (deflate makes at most 1,032 bytes of each), so that a small hostile file never makes
// the converter reserve much. Memory stays a few rows whatever the declared size: an
// interlaced image is put together, pass after pass, in the store KeepRowsIn names, and
// read back from there top row first. A palette index past the end of the palette is an
// error. The last row is read with the rest of the file up to IEND checked (an
// interlaced image's before its first row).
class PngReader final : public RowReader {
 public:
  explicit PngReader(ByteSource& source);
};

}  // namespace formats
