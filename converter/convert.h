// One file's conversion: a texture (m32, m8, WAL) to an image (TGA, PNG), or an image
// back to a texture, like a reference texture when one is given.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/image.h"
#include "formats/m32_writer.h"
#include "formats/nearest_colour.h"
#include "formats/palette.h"
#include "formats/reference_levels.h"
#include "formats/tga_writer.h"
#include "system/files.h"

namespace converter {

// The formats a file is converted between; --to names them. A name ending in the
// extension of one, any case, is read as that format; any other name as an m32.
enum class Format { kM32, kTga, kPng, kM8, kWal };
struct FormatName {
  Format format;
  std::string_view name;       // as --to takes it
  std::string_view extension;  // lower case, with its dot
};
inline constexpr FormatName kFormats[] = {{Format::kM32, "m32", ".m32"},
                                          {Format::kTga, "tga", ".tga"},
                                          {Format::kPng, "png", ".png"},
                                          {Format::kM8, "m8", ".m8"},
                                          {Format::kWal, "wal", ".wal"}};

const FormatName& NameOf(Format format);
// "an m32", "a TGA": the format as a message names it.
std::string Named(Format format);
// Textures (m32, m8, WAL) convert to images (TGA, PNG), and images to textures.
constexpr bool IsTexture(Format format) {
  return format == Format::kM32 || format == Format::kM8 || format == Format::kWal;
}
// The format a name's extension names, any case; none for any other name.
std::optional<Format> NamedFormat(const std::filesystem::path& file);
std::optional<Format> NamedFormat(const sys::FileName& name);  // a name without its folder
Format FormatOf(const std::filesystem::path& input);
// What an input of `from` becomes without --to: a texture a TGA, an image an m32.
Format OtherFormat(Format from);
// The format a --like file is read as: its extension's texture format, else m32.
Format ReferenceFormat(const std::filesystem::path& like);

// The input's name with the extension of `to` in place of a known one, or appended.
std::filesystem::path OutputFor(const std::filesystem::path& input, Format to);

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

// How the pixels are written, for every file of a run.
struct Settings {
  formats::TgaDepth depth = formats::TgaDepth::kBgr24;  // for a PNG, kBgra32 keeps alpha even when all is opaque
  formats::MipAverage mips = formats::MipAverage::kPlain;
  bool dither = false;
  const formats::Palette* palette = nullptr;  // --palette: a WAL's, and an m8's without an m8 --like
};

// A palette file, read through the file layer: a pipe or a device is refused.
formats::PaletteResult ReadPaletteFile(const std::filesystem::path& file);

// The texture --like names, its header read and checked as any input of its format is,
// and held open for its levels: an image that comes back with level 0 unchanged keeps
// them. Closed before the output takes its place, as it may be the output itself.
class Reference {
 public:
  Reference(std::unique_ptr<sys::InputFile> file, Format format);
  Reference(const std::filesystem::path& file, Format format);

  const std::string& Error() const { return error_; }  // empty when it is a sound texture
  Format Kind() const { return format_; }
  std::span<const std::uint8_t> Header() const { return header_; }
  const std::optional<formats::Palette>& Palette() const { return palette_; }  // an m8's
  formats::ReferenceLevels& Levels() { return *levels_; }
  void Close();

 private:
  Format format_;
  std::unique_ptr<sys::InputFile> file_;
  std::unique_ptr<formats::SourceOf<sys::InputFile>> source_;
  std::vector<std::uint8_t> header_;
  std::optional<formats::Palette> palette_;
  std::unique_ptr<formats::ReferenceLevels> levels_;
  std::string error_;
};

// The palette mapping of the last texture, kept for the next one of the same palette:
// one to a thread, as each fills its table as it goes.
class Mappers {
 public:
  formats::NearestColour& For(const formats::Palette& palette, formats::ReservedIndices reserved);

 private:
  std::unique_ptr<formats::NearestColour> last_;
  formats::ReservedIndices reserved_;
};

// Empty when the output was written whole; otherwise why not, and the output is as it
// was. The input's size is the one it had when opened, and the pixels are read only
// after the header has been checked against that size.
//
// A texture of `from` to a TGA or PNG: an m32's level 0 (a PNG has alpha when `depth`
// asks for it or any pixel is not wholly opaque); an m8's or a WAL's level 0 through its
// palette, as a palette PNG of that palette and the file's indices.
std::string ConvertTexture(sys::InputFile& input, Format from, const Destination& output, Format to,
                           const Settings& settings);

// A TGA or PNG (`from`) to a texture of `to`, with the fields of `reference` when given
// (of that format), and otherwise a header naming the texture after the output file.
std::string ConvertImage(sys::InputFile& input, Format from, const Destination& output, Format to, Reference* reference,
                         const Settings& settings, Mappers& mappers);
// The same with no reference, the formats told by the names.
std::string ConvertImage(const std::filesystem::path& input, const std::filesystem::path& output);

}  // namespace converter
