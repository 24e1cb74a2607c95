// Writing a PNG through libspng, of the smallest lossless kind the pixels allow.
#pragma once

#include "formats/tga_writer.h"

namespace formats {

// Streams the image as a PNG into the sink, top row first: grey, grey with alpha, a
// palette (with tRNS where alpha is not all opaque) of 1 to 8 bits, RGB or RGBA, the
// kind that takes the fewest bits a pixel and gives every pixel back exactly. With
// `keepAlpha` the file has an alpha channel even when every pixel is opaque (grey with
// alpha or RGBA). The pixels are read twice: once to learn the kind, once to encode.
// False when the source failed to give a block, the sink refused a piece or libspng
// failed.
bool WritePng(ImageSize size, PixelRows& pixels, bool keepAlpha, ByteSink& sink);

}  // namespace formats
