// One TGA or PNG image to one m32 texture.
#pragma once

#include <string>

#include "formats/image.h"
#include "formats/m32_writer.h"
#include "formats/reference_levels.h"

namespace formats {

// Reads the image's rows top first and writes them with every mip level, averaged as
// `average` says; `header` gives every field but the levels' sides and offsets. The
// image was opened without error. With a reference of level 0's sides, the texture has
// as many levels as the reference, and when level 0 comes out as the reference's, the
// reference's own smaller levels are written in place of those made here, so that an
// untouched texture comes back byte for byte. Empty when all was written, otherwise why
// not.
std::string WriteM32(RowReader& image, M32Header header, PositionedSink& out, MipAverage average = MipAverage::kPlain,
                     ReferenceLevels* reference = nullptr);

}  // namespace formats
