// One m32 file to one TGA file.
#pragma once

#include <filesystem>
#include <string>

#include "file_io.h"
#include "tga.h"

namespace m32tga {

// rock.m32 and rock.M32 become rock.tga beside them; any other name gets .tga appended,
// so that the output can never be the input itself. A short (8.3) name on Windows gives
// the output the long name's stem: BRICKW~1.M32 becomes Brick Wall.tga.
std::filesystem::path DefaultOutputFor(const std::filesystem::path& input);

// Empty when the output was written whole; otherwise why not, and the output is as it was.
std::string ConvertFile(const std::filesystem::path& input, const std::filesystem::path& output, TgaDepth depth);

// The same for an input already open: its size is the one it had when opened, and the
// pixels are read only after the header has been checked against that size.
std::string ConvertFile(InputFile& input, const std::filesystem::path& output, TgaDepth depth);

}  // namespace m32tga
