#include "converter/convert.h"

#include <algorithm>
#include <string_view>

#include "formats/image_to_m32.h"
#include "formats/indexed.h"
#include "formats/indexed_writer.h"
#include "formats/m32.h"
#include "formats/m8.h"
#include "formats/png_reader.h"
#include "formats/png_writer.h"
#include "formats/tga_reader.h"
#include "formats/wal.h"

namespace converter {
namespace {

// Whether the name ends in `wanted` (lower case, with its dot), any case, after
// something.
bool EndsIn(const sys::FileName& name, std::string_view wanted) {
  const auto lower = [](auto c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
  return name.size() > wanted.size() && std::equal(wanted.begin(), wanted.end(), name.end() - wanted.size(),
                                                   [&](char w, auto c) { return lower(c) == w; });
}

// The texture's name in the game is the file's name without its extension.
std::string TextureName(const sys::FileName& output) {
  const std::u8string name = std::filesystem::path(sys::KnownName(output)).stem().u8string();
  return std::string(name.begin(), name.end());
}

}  // namespace

const FormatName& NameOf(Format format) {
  return *std::find_if(std::begin(kFormats), std::end(kFormats),
                       [&](const FormatName& f) { return f.format == format; });
}

std::string Named(Format format) {
  switch (format) {
    case Format::kM32: return "an m32";
    case Format::kTga: return "a TGA";
    case Format::kPng: return "a PNG";
    case Format::kM8: return "an m8";
    case Format::kWal: return "a WAL";
  }
  return {};
}

std::optional<Format> NamedFormat(const sys::FileName& name) {
  for (const FormatName& known : kFormats) {
    if (EndsIn(name, known.extension)) return known.format;
  }
  return std::nullopt;
}

std::optional<Format> NamedFormat(const std::filesystem::path& file) { return NamedFormat(file.filename().native()); }

Format FormatOf(const std::filesystem::path& input) { return NamedFormat(input).value_or(Format::kM32); }

Format OtherFormat(Format from) { return IsTexture(from) ? Format::kTga : Format::kM32; }

Format ReferenceFormat(const std::filesystem::path& like) {
  const Format named = FormatOf(like);
  return IsTexture(named) ? named : Format::kM32;
}

std::filesystem::path OutputFor(const std::filesystem::path& input, Format to) {
  std::filesystem::path output = input;
  if (NamedFormat(input)) return output.replace_extension(std::filesystem::path(NameOf(to).extension));
  return output += NameOf(to).extension;
}

Destination DestinationAt(const std::filesystem::path& file) {
  return {sys::Folder(file.parent_path()).Open(sys::Folder::IfMissing::kFail), file.filename().native(), file};
}

formats::PaletteResult ReadPaletteFile(const std::filesystem::path& file) {
  sys::InputFile input(file);
  if (!input.Error().empty()) return {{}, input.Error()};
  formats::SourceOf<sys::InputFile> source(input);
  return formats::ReadPalette(source);
}

Reference::Reference(const std::filesystem::path& file, Format format)
    : Reference(std::make_unique<sys::InputFile>(file), format) {}

Reference::Reference(std::unique_ptr<sys::InputFile> file, Format format)
    : format_(format), file_(std::move(file)), source_(std::make_unique<formats::SourceOf<sys::InputFile>>(*file_)) {
  error_ = file_->Error();
  if (!error_.empty()) return;
  formats::HeaderResult level0;
  std::vector<formats::MipLevel> levels;
  std::size_t pixelBytes = 1;
  if (format == Format::kM8) {
    const formats::M8Read read = formats::ReadM8Header(*source_);
    level0 = read.level0;
    header_.assign(read.header.begin(), read.header.end());
    levels = formats::M8Levels(read.header);
    palette_ = formats::M8Palette(read.header);
  } else if (format == Format::kWal) {
    const formats::WalRead read = formats::ReadWalHeader(*source_);
    level0 = read.level0;
    header_.assign(read.header.begin(), read.header.end());
    levels = formats::WalLevels(read.header);
  } else {
    level0 = formats::ReadM32Header(*source_);
    header_.resize(formats::kM32HeaderBytes);
    // The check needed the whole header, so the file holds all of it.
    if (level0.Ok() && !file_->ReadAt(0, header_)) level0.error = file_->Error();
    levels = formats::M32Levels(header_);
    pixelBytes = formats::kM32BytesPerPixel;
  }
  error_ = level0.error;
  if (error_.empty()) levels_ = std::make_unique<formats::ReferenceLevels>(*source_, std::move(levels), pixelBytes);
}

void Reference::Close() {
  levels_.reset();
  source_.reset();
  file_.reset();
}

formats::NearestColour& Mappers::For(const formats::Palette& palette, formats::ReservedIndices reserved) {
  if (!last_ || last_->Colours() != palette || reserved_ != reserved) {
    last_.reset();  // before the next is made: each holds about 1 MiB
    last_ = std::make_unique<formats::NearestColour>(palette, reserved);
    reserved_ = reserved;
  }
  return *last_;
}

namespace {

std::unique_ptr<sys::OutputFile> OpenOutput(const Destination& output) {
  if (output.standardOutput) return std::make_unique<sys::StandardOutput>();
  const auto mode = output.dryRun ? sys::ReplacingFile::Mode::kCheckOnly : sys::ReplacingFile::Mode::kWrite;
  return std::make_unique<sys::ReplacingFile>(output.folder, output.name, output.shown, mode);
}

// What went wrong when an encoder stopped: the input's fault, the output's, or the encoder's.
std::string Failure(sys::InputFile& input, const sys::OutputFile& output, std::string encoder) {
  if (!input.Error().empty()) return input.Error();
  if (!output.Error().empty()) return output.Error();
  return encoder;
}

constexpr char kNoWalPalette[] =
    "a WAL texture holds no palette: give the game's with --palette (its pics/colormap.pcx)";

// Level 0 of an 8-bit texture, and the palette its indices stand for.
struct IndexedTexture {
  formats::HeaderResult level0;
  formats::Palette palette;
};

IndexedTexture ReadIndexed(formats::ByteSource& source, Format from, const Settings& settings) {
  if (from == Format::kM8) {
    const formats::M8Read read = formats::ReadM8Header(source);
    return {read.level0, formats::M8Palette(read.header)};
  }
  IndexedTexture texture{formats::ReadWalHeader(source).level0, {}};
  if (texture.level0.Ok() && settings.palette == nullptr) texture.level0.error = kNoWalPalette;
  if (settings.palette != nullptr) texture.palette = *settings.palette;
  return texture;
}

bool Encode(const formats::MipLevel& level0, formats::PixelRows& pixels, Format to, const Settings& settings,
            formats::SinkOf<sys::OutputFile>& sink) {
  const formats::ImageSize size{level0.width, level0.height};
  if (to == Format::kPng) {
    return formats::WritePng(size, pixels, settings.depth == formats::TgaDepth::kBgra32, sink);
  }
  return formats::WriteTga(size, pixels, settings.depth, sink);
}

}  // namespace

std::string ConvertTexture(sys::InputFile& input, Format from, const Destination& output, Format to,
                           const Settings& settings) {
  if (!input.Error().empty()) return input.Error();
  formats::SourceOf<sys::InputFile> source(input);
  const bool indexed = from == Format::kM8 || from == Format::kWal;
  const IndexedTexture texture =
      indexed ? ReadIndexed(source, from, settings) : IndexedTexture{formats::ReadM32Header(source), {}};
  if (!texture.level0.Ok()) return texture.level0.error;

  const std::unique_ptr<sys::OutputFile> file = OpenOutput(output);
  if (output.dryRun) return file->Error();
  const formats::MipLevel& level0 = texture.level0.level0;
  formats::SinkOf<sys::OutputFile> sink(*file);
  bool written = false;
  if (!indexed) {
    formats::Level0Rows pixels(source, level0);
    written = Encode(level0, pixels, to, settings, sink);
  } else if (to == Format::kPng) {
    formats::LevelRows indices(source, level0);
    written = formats::WritePalettePng({level0.width, level0.height}, indices, texture.palette, sink);
  } else {
    formats::LevelRows indices(source, level0);
    formats::PaletteRows pixels(indices, texture.palette);
    written = Encode(level0, pixels, to, settings, sink);
  }
  if (written && file->Commit()) return {};
  return Failure(input, *file, "cannot encode the image as " + Named(to));
}

namespace {

// What a texture of `to` is written with: its header (levels not yet put), the layout
// of its levels, and for an 8-bit one the palette it maps to.
struct Target {
  std::vector<std::uint8_t> header;
  formats::M32Layout layout;
  std::optional<formats::Palette> palette;
  formats::ReservedIndices reserved;
};

// With a reference of the image's sides, as many levels as it has.
std::size_t MostLevels(Reference* reference, const formats::RowReader& image, std::size_t otherwise) {
  if (reference == nullptr || !reference->Levels().SameSides(image.Width(), image.Height())) return otherwise;
  return reference->Levels().LevelCount();
}

Target TargetFor(Format to, const formats::RowReader& image, Reference* reference, const Settings& settings,
                 const sys::FileName& output) {
  Target target;
  if (to == Format::kM32) {
    const formats::M32Header header = formats::DefaultM32Header(TextureName(output));
    target.header.assign(header.begin(), header.end());
    return target;
  }
  target.palette = reference != nullptr && reference->Palette() ? reference->Palette()
                   : settings.palette != nullptr                ? std::optional(*settings.palette)
                                                                : std::nullopt;
  if (!target.palette) {
    target.layout.error = to == Format::kWal ? "a WAL texture holds no palette: give the game's with --palette"
                                             : "an m8 needs a palette: --like an m8 of the same name, or --palette";
    return target;
  }
  if (to == Format::kM8) {
    const formats::M8Header header = formats::DefaultM8Header(TextureName(output), *target.palette);
    target.header.assign(header.begin(), header.end());
    target.layout = formats::LayOutM8(image.Width(), image.Height(), MostLevels(reference, image, formats::kM8Levels));
    target.reserved = formats::M8Reserved();
  } else {
    const formats::WalHeader header = formats::DefaultWalHeader(TextureName(output));
    target.header.assign(header.begin(), header.end());
    target.layout = formats::LayOutWal(image.Width(), image.Height());
    target.reserved = formats::WalReserved();
  }
  return target;
}

// The reference's header in place of the default one, its levels put as the layout has them.
void PutLevels(Format to, const formats::M32Layout& layout, std::vector<std::uint8_t>& header) {
  if (to == Format::kM8) {
    formats::M8Header m8{};
    std::copy(header.begin(), header.end(), m8.begin());
    formats::PutM8Levels(layout.levels, m8);
    header.assign(m8.begin(), m8.end());
  } else if (to == Format::kWal) {
    formats::WalHeader wal{};
    std::copy(header.begin(), header.end(), wal.begin());
    formats::PutWalLevels(layout.levels, wal);
    header.assign(wal.begin(), wal.end());
  }
}

std::string WriteTexture(formats::RowReader& image, Format to, Target& target, Reference* reference,
                         const Settings& settings, Mappers& mappers, formats::SinkOf<sys::OutputFile>& sink) {
  formats::ReferenceLevels* levels = reference != nullptr ? &reference->Levels() : nullptr;
  if (to == Format::kM32) {
    formats::M32Header header{};
    std::copy(target.header.begin(), target.header.end(), header.begin());
    return formats::WriteM32(image, header, sink, settings.mips, levels);
  }
  PutLevels(to, target.layout, target.header);
  formats::NearestColour& nearest = mappers.For(*target.palette, target.reserved);
  return formats::WriteIndexed(image, target.layout, target.header, sink, nearest,
                               {.dither = settings.dither, .average = settings.mips}, levels);
}

std::string ConvertRows(formats::RowReader&& image, sys::InputFile& file, const Destination& output, Format to,
                        Reference* reference, const Settings& settings, Mappers& mappers) {
  if (!image.Error().empty()) return image.Error();
  if (reference != nullptr && !reference->Error().empty()) return reference->Error();
  if (output.standardOutput) return Named(to) + " cannot go to standard output: its writer goes back in the file";
  Target target = TargetFor(to, image, reference, settings, output.name);
  if (!target.layout.error.empty()) return target.layout.error;
  if (reference != nullptr) target.header.assign(reference->Header().begin(), reference->Header().end());
  const std::unique_ptr<sys::OutputFile> texture = OpenOutput(output);
  if (output.dryRun) return texture->Error();
  formats::SinkOf<sys::OutputFile> sink(*texture);
  const std::string error = WriteTexture(image, to, target, reference, settings, mappers, sink);
  if (reference != nullptr) reference->Close();
  if (error.empty() && texture->Commit()) return {};
  if (!file.Error().empty()) return file.Error();
  return texture->Error().empty() ? error : texture->Error();
}

}  // namespace

std::string ConvertImage(sys::InputFile& input, Format from, const Destination& output, Format to, Reference* reference,
                         const Settings& settings, Mappers& mappers) {
  if (!input.Error().empty()) return input.Error();
  formats::SourceOf<sys::InputFile> source(input);
  if (from == Format::kPng)
    return ConvertRows(formats::PngReader(source), input, output, to, reference, settings, mappers);
  return ConvertRows(formats::TgaReader(source), input, output, to, reference, settings, mappers);
}

std::string ConvertImage(const std::filesystem::path& input, const std::filesystem::path& output) {
  sys::InputFile file(input);
  Mappers mappers;
  return ConvertImage(file, FormatOf(input), DestinationAt(output), FormatOf(output), nullptr, Settings{}, mappers);
}

}  // namespace converter
