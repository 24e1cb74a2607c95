// One TGA or PNG image to one m32 texture.
#pragma once

#include <string>

#include "formats/image.h"
#include "formats/m32_writer.h"

namespace formats {

// Reads the image's rows top first and writes them with every mip level, averaged as
// `average` says; `header` gives every field but the levels' sides and offsets. The
// image was opened without error. Empty when all was written, otherwise why not.
std::string WriteM32(RowReader& image, M32Header header, PositionedSink& out, MipAverage average = MipAverage::kPlain);

}  // namespace formats
