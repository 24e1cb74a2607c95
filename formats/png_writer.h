// Writing a PNG through libspng, of the smallest lossless kind the pixels allow.
#pragma once

#include "formats/palette.h"
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

// Streams an image of palette indices, one byte a pixel from `indices`, as an 8-bit
// palette PNG holding the whole palette, so that an editor that keeps indexed images
// edits the indices themselves. False as WritePng.
bool WritePalettePng(ImageSize size, PixelRows& indices, const Palette& palette, ByteSink& sink);

}  // namespace formats
