// One m32 file to one TGA file, and one TGA file to one m32 file.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "formats/m32_writer.h"
#include "formats/tga_writer.h"
#include "system/files.h"

namespace converter {

// Whether the file is read as a PNG, and an output of such a name written as one: its
// name ends in .png, any case.
bool IsPngName(const std::filesystem::path& file);

// The formats a file is converted between; --to names them. A name ending in the
// extension of one, any case, is read as that format; any other name as an m32.
enum class Format { kM32, kTga, kPng };
struct FormatName {
  Format format;
  std::string_view name;       // as --to takes it
  std::string_view extension;  // lower case, with its dot
};
inline constexpr FormatName kFormats[] = {
    {Format::kM32, "m32", ".m32"}, {Format::kTga, "tga", ".tga"}, {Format::kPng, "png", ".png"}};

const FormatName& NameOf(Format format);
// The format a name's extension names, any case; none for any other name.
std::optional<Format> NamedFormat(const std::filesystem::path& file);
std::optional<Format> NamedFormat(const sys::FileName& name);  // a name without its folder
Format FormatOf(const std::filesystem::path& input);
// Whether the file's extension, any case, is that of `format`.
bool HasFormatExtension(const std::filesystem::path& file, Format format);
// What an input of `from` becomes without --to: an m32 a TGA, and a TGA or a PNG an m32.
Format OtherFormat(Format from);

// The input's name with the extension of `to` in place of a known one, or appended.
std::filesystem::path OutputFor(const std::filesystem::path& input, Format to);

// rock.tga, rock.png and rock.TGA become rock.m32 beside them; rock.m32 and rock.M32 become
// rock.tga; any other name gets .tga appended, so that the output is never the input.
std::filesystem::path DefaultOutputFor(const std::filesystem::path& input);

// Where a conversion writes: a file in an open folder, put in place of the one there
// once complete, or standard output. A dry run makes every check of a real run, the
// target's too, and stops before the first byte would be written.
struct Destination {
  sys::OpenedFolder folder;
  sys::FileName name;
  std::filesystem::path shown;  // as messages name it
  bool standardOutput = false;
  bool dryRun = false;
};
Destination DestinationAt(const std::filesystem::path& file);

// Empty when the output was written whole; otherwise why not, and the output is as it was.
// A PNG has alpha when `depth` asks for it or any pixel is not wholly opaque. The input's
// size is the one it had when opened, and the pixels are read only after the header has
// been checked against that size.
std::string ConvertFile(sys::InputFile& input, const Destination& output, Format to, formats::TgaDepth depth);
// The same, the format told by the output's name: *.png is a PNG, anything else a TGA.
std::string ConvertFile(sys::InputFile& input, const std::filesystem::path& output, formats::TgaDepth depth);

// The header of the m32 that --like names, read whole and checked as any m32 input is.
struct M32Reference {
  formats::M32Header header{};
  std::string error;  // empty when the file is a sound m32
};
M32Reference ReadM32Reference(sys::InputFile& file);
M32Reference ReadM32Reference(const std::filesystem::path& file);

// One TGA or PNG (by its name) to one m32, with the fields of `like` when given, and
// otherwise a header naming the texture after the output file. Empty when the output
// was written whole; otherwise why not, and the output is as it was.
std::string ConvertImageFile(sys::InputFile& input, bool png, const Destination& output, const formats::M32Header* like,
                             formats::MipAverage average);
std::string ConvertImageToM32(const std::filesystem::path& input, const std::filesystem::path& output,
                              const formats::M32Header* like,
                              formats::MipAverage average = formats::MipAverage::kPlain);

}  // namespace converter
