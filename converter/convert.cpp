#include "converter/convert.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "formats/image_to_m32.h"
#include "formats/m32.h"
#include "formats/png_reader.h"
#include "formats/png_writer.h"
#include "formats/tga_reader.h"

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
formats::M32Header HeaderNamedAfter(const std::filesystem::path& output) {
  const std::u8string name = output.stem().u8string();
  return formats::DefaultM32Header(std::string(name.begin(), name.end()));
}

}  // namespace

bool IsPngName(const std::filesystem::path& file) { return HasFormatExtension(file, Format::kPng); }

const FormatName& NameOf(Format format) {
  return *std::find_if(std::begin(kFormats), std::end(kFormats),
                       [&](const FormatName& f) { return f.format == format; });
}

bool HasFormatExtension(const std::filesystem::path& file, Format format) {
  return EndsIn(file.filename().native(), NameOf(format).extension);
}

std::optional<Format> NamedFormat(const sys::FileName& name) {
  for (const FormatName& known : kFormats) {
    if (EndsIn(name, known.extension)) return known.format;
  }
  return std::nullopt;
}

std::optional<Format> NamedFormat(const std::filesystem::path& file) { return NamedFormat(file.filename().native()); }

Format FormatOf(const std::filesystem::path& input) { return NamedFormat(input).value_or(Format::kM32); }

Format OtherFormat(Format from) { return from == Format::kM32 ? Format::kTga : Format::kM32; }

std::filesystem::path OutputFor(const std::filesystem::path& input, Format to) {
  std::filesystem::path output = input;
  if (NamedFormat(input)) return output.replace_extension(std::filesystem::path(NameOf(to).extension));
  return output += NameOf(to).extension;
}

std::filesystem::path DefaultOutputFor(const std::filesystem::path& input) {
  return OutputFor(input, OtherFormat(FormatOf(input)));
}

Destination DestinationAt(const std::filesystem::path& file) {
  return {sys::Folder(file.parent_path()).Open(sys::Folder::IfMissing::kFail), file.filename().native(), file};
}

namespace {

std::unique_ptr<sys::OutputFile> OpenOutput(const Destination& output) {
  if (output.standardOutput) return std::make_unique<sys::StandardOutput>();
  const auto mode = output.dryRun ? sys::ReplacingFile::Mode::kCheckOnly : sys::ReplacingFile::Mode::kWrite;
  return std::make_unique<sys::ReplacingFile>(output.folder, output.name, output.shown, mode);
}

}  // namespace

std::string ConvertFile(sys::InputFile& input, const Destination& output, Format to, formats::TgaDepth depth) {
  if (!input.Error().empty()) return input.Error();
  formats::SourceOf<sys::InputFile> source(input);
  const formats::HeaderResult header = formats::ReadM32Header(source);
  if (!header.Ok()) return header.error;

  const std::unique_ptr<sys::OutputFile> file = OpenOutput(output);
  if (output.dryRun) return file->Error();
  const formats::MipLevel& level0 = header.level0;
  formats::Level0Rows pixels(source, level0);
  const formats::ImageSize size{level0.width, level0.height};
  const bool png = to == Format::kPng;
  const bool keepAlpha = depth == formats::TgaDepth::kBgra32;
  formats::SinkOf<sys::OutputFile> sink(*file);
  const bool written =
      png ? formats::WritePng(size, pixels, keepAlpha, sink) : formats::WriteTga(size, pixels, depth, sink);
  if (written && file->Commit()) return {};
  if (!input.Error().empty()) return input.Error();
  if (!file->Error().empty()) return file->Error();
  return png ? "cannot encode the image as a PNG" : "cannot encode the image as a TGA";
}

std::string ConvertFile(sys::InputFile& input, const std::filesystem::path& output, formats::TgaDepth depth) {
  return ConvertFile(input, DestinationAt(output), IsPngName(output) ? Format::kPng : Format::kTga, depth);
}

M32Reference ReadM32Reference(sys::InputFile& input) {
  M32Reference reference;
  if (!input.Error().empty()) {
    reference.error = input.Error();
    return reference;
  }
  formats::SourceOf<sys::InputFile> source(input);
  const formats::HeaderResult checked = formats::ReadM32Header(source);
  reference.error = checked.error;
  // The check needed the whole header, so the file holds all of it.
  if (checked.Ok() && !input.ReadAt(0, reference.header)) reference.error = input.Error();
  return reference;
}

M32Reference ReadM32Reference(const std::filesystem::path& file) {
  sys::InputFile input(file);
  return ReadM32Reference(input);
}

namespace {

std::string ConvertImage(formats::RowReader&& image, sys::InputFile& file, const Destination& output,
                         const formats::M32Header* like, formats::MipAverage average) {
  if (!image.Error().empty()) return image.Error();
  if (output.standardOutput) return "an m32 cannot go to standard output: its writer goes back in the file";
  const std::unique_ptr<sys::OutputFile> m32 = OpenOutput(output);
  if (output.dryRun) return m32->Error();
  formats::SinkOf<sys::OutputFile> sink(*m32);
  const std::string error =
      formats::WriteM32(image, like != nullptr ? *like : HeaderNamedAfter(sys::KnownName(output.name)), sink, average);
  if (error.empty() && m32->Commit()) return {};
  if (!file.Error().empty()) return file.Error();
  return m32->Error().empty() ? error : m32->Error();
}

}  // namespace

std::string ConvertImageFile(sys::InputFile& input, bool png, const Destination& output, const formats::M32Header* like,
                             formats::MipAverage average) {
  if (!input.Error().empty()) return input.Error();
  formats::SourceOf<sys::InputFile> source(input);
  if (png) return ConvertImage(formats::PngReader(source), input, output, like, average);
  return ConvertImage(formats::TgaReader(source), input, output, like, average);
}

std::string ConvertImageToM32(const std::filesystem::path& input, const std::filesystem::path& output,
                              const formats::M32Header* like, formats::MipAverage average) {
  sys::InputFile file(input);
  return ConvertImageFile(file, IsPngName(input), DestinationAt(output), like, average);
}

}  // namespace converter
