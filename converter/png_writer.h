// Writing an 8-bit RGB or RGBA PNG through libspng.
#pragma once

#include <string>

#include "tga.h"

namespace m32tga {

// Streams the image as a PNG into the sink, top row first, keeping alpha when `alpha`
// says so. Empty when written; otherwise libspng's reason (which is an I/O error when the
// sink refused a piece), or that the source failed to give a block.
std::string WritePng(ImageSize size, PixelRows& pixels, bool alpha, ByteSink& sink);

// Whether any of the image's pixels is not wholly opaque; false also when the source
// failed, which the writer then finds again.
bool HasTransparency(ImageSize size, PixelRows& pixels);

}  // namespace m32tga
