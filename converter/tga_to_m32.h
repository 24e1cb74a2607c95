// One TGA image to one m32 texture.
#pragma once

#include <string>

#include "m32_writer.h"
#include "tga_reader.h"

namespace m32tga {

// Reads the TGA's rows top first and writes them with every mip level; `header` gives
// every field but the levels' sides and offsets. Empty when all was written, otherwise
// why not. The TGA has already been opened without error.
std::string WriteM32(TgaReader& tga, M32Header header, PositionedSink& out);

}  // namespace m32tga
