// One m32 file to one TGA file, and one TGA file to one m32 file.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "file_io.h"
#include "m32_writer.h"
#include "tga.h"

namespace m32tga {

// Whether the file is read as a TGA and becomes an m32: its name ends in .tga, any case.
bool IsTgaName(const std::filesystem::path& input);

// Whether the file is read as a PNG and becomes an m32, or an output is written as a
// PNG: its name ends in .png, any case.
bool IsPngName(const std::filesystem::path& file);

// rock.tga, rock.png and rock.TGA become rock.m32 beside them; rock.m32 and rock.M32
// become rock.tga; any other name gets .tga appended, so that the output is never the
// input.
std::filesystem::path DefaultOutputFor(const std::filesystem::path& input);
// rock.m32 becomes rock.png; any other name gets .png appended.
std::filesystem::path PngOutputFor(const std::filesystem::path& input);

// Empty when the output was written whole; otherwise why not, and the output is as it was.
// An output named *.png is a PNG, with alpha when `depth` asks for it or any pixel is
// not wholly opaque.
std::string ConvertFile(const std::filesystem::path& input, const std::filesystem::path& output, TgaDepth depth);

// The same for an input already open: its size is the one it had when opened, and the
// pixels are read only after the header has been checked against that size.
std::string ConvertFile(InputFile& input, const std::filesystem::path& output, TgaDepth depth);

// An input that the output of another input (or of itself) would replace: the output
// when it is the same file as an input, by any name.
std::optional<std::filesystem::path> OutputOverAnInput(std::span<const std::filesystem::path> inputs,
                                                       std::span<const std::filesystem::path> outputs);

// The header of the m32 that --like names, read whole and checked as any m32 input is.
struct M32Reference {
  M32Header header{};
  std::string error;  // empty when the file is a sound m32
};
M32Reference ReadM32Reference(const std::filesystem::path& file);

// One TGA or PNG (by its name) to one m32, with the fields of `like` when given, and
// otherwise a header naming the texture after the output file. Empty when the output
// was written whole; otherwise why not, and the output is as it was.
std::string ConvertTgaFile(const std::filesystem::path& input, const std::filesystem::path& output,
                           const M32Header* like, MipAverage average = MipAverage::kPlain);

}  // namespace m32tga
