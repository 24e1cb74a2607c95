// Reading TGA images a row at a time, top row first: the layout is described at the top
// of tga_header.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "formats/image.h"
#include "formats/m32.h"

namespace formats {

// A TGA image of any of the types 1, 2, 3, 9, 10 and 11, read as 4-byte RGBA rows from
// the top of the image down, whatever order the file stores them in. Everything the
// header says is checked against the file before the first row is read; a run-length
// file stored bottom row first is walked through once to find where each row starts.
// Memory stays a few rows whatever the image's size: an index entry per row at most.
class TgaReader final : public RowReader {
 public:
  explicit TgaReader(ByteSource& source);
};

}  // namespace formats
