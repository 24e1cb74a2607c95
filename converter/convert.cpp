#include "convert.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "m32.h"
#include "png_reader.h"
#include "png_writer.h"
#include "tga_reader.h"
#include "tga_to_m32.h"

namespace m32tga {
namespace {

// Whether the name ends in `wanted` (lower case, with its dot), any case, after
// something.
bool EndsIn(const FileName& name, std::string_view wanted) {
  const auto lower = [](auto c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
  return name.size() > wanted.size() && std::equal(wanted.begin(), wanted.end(), name.end() - wanted.size(),
                                                   [&](char w, auto c) { return lower(c) == w; });
}

class OutputSink final : public PositionedSink {
 public:
  explicit OutputSink(OutputFile& file) : file_(file) {}
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    return file_.WriteAt(offset, bytes);
  }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override { return file_.ReadAt(offset, bytes); }
  void Reserve(std::uint64_t bytes) override { file_.Reserve(bytes); }

 private:
  OutputFile& file_;
};

// The texture's name in the game is the file's name without its extension.
M32Header HeaderNamedAfter(const std::filesystem::path& output) {
  const std::u8string name = output.stem().u8string();
  return DefaultM32Header(std::string(name.begin(), name.end()));
}

}  // namespace

bool IsTgaName(const std::filesystem::path& input) { return HasFormatExtension(input, Format::kTga); }
bool IsPngName(const std::filesystem::path& file) { return HasFormatExtension(file, Format::kPng); }

const FormatName& NameOf(Format format) {
  return *std::find_if(std::begin(kFormats), std::end(kFormats),
                       [&](const FormatName& f) { return f.format == format; });
}

bool HasFormatExtension(const std::filesystem::path& file, Format format) {
  return EndsIn(file.filename().native(), NameOf(format).extension);
}

std::optional<Format> NamedFormat(const FileName& name) {
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
  return {Folder(file.parent_path()).Open(Folder::IfMissing::kFail), file.filename().native(), file};
}

namespace {

std::unique_ptr<OutputFile> OpenOutput(const Destination& output) {
  if (output.standardOutput) return std::make_unique<StandardOutput>();
  const auto mode = output.dryRun ? ReplacingFile::Mode::kCheckOnly : ReplacingFile::Mode::kWrite;
  return std::make_unique<ReplacingFile>(output.folder, output.name, output.shown, mode);
}

}  // namespace

std::string ConvertFile(InputFile& input, const Destination& output, Format to, TgaDepth depth) {
  if (!input.Error().empty()) return input.Error();
  const HeaderResult header = ReadM32Header(input);
  if (!header.Ok()) return header.error;

  const std::unique_ptr<OutputFile> file = OpenOutput(output);
  if (output.dryRun) return file->Error();
  const MipLevel& level0 = header.level0;
  Level0Rows pixels(input, level0);
  const ImageSize size{level0.width, level0.height};
  const bool png = to == Format::kPng;
  const bool keepAlpha = depth == TgaDepth::kBgra32;
  const bool written = png ? WritePng(size, pixels, keepAlpha, *file) : WriteTga(size, pixels, depth, *file);
  if (written && file->Commit()) return {};
  if (!input.Error().empty()) return input.Error();
  if (!file->Error().empty()) return file->Error();
  return png ? "cannot encode the image as a PNG" : "cannot encode the image as a TGA";
}

std::string ConvertFile(InputFile& input, const std::filesystem::path& output, TgaDepth depth) {
  return ConvertFile(input, DestinationAt(output), IsPngName(output) ? Format::kPng : Format::kTga, depth);
}

M32Reference ReadM32Reference(InputFile& input) {
  M32Reference reference;
  if (!input.Error().empty()) {
    reference.error = input.Error();
    return reference;
  }
  const HeaderResult checked = ReadM32Header(input);
  reference.error = checked.error;
  // The check needed the whole header, so the file holds all of it.
  if (checked.Ok() && !input.ReadAt(0, reference.header)) reference.error = input.Error();
  return reference;
}

M32Reference ReadM32Reference(const std::filesystem::path& file) {
  InputFile input(file);
  return ReadM32Reference(input);
}

namespace {

std::string ConvertImage(RowReader&& image, InputFile& file, const Destination& output, const M32Header* like,
                         MipAverage average) {
  if (!image.Error().empty()) return image.Error();
  if (output.standardOutput)
    return "an m32 cannot go to standard output: its writer goes back in the "
           "file";
  const std::unique_ptr<OutputFile> m32 = OpenOutput(output);
  if (output.dryRun) return m32->Error();
  OutputSink sink(*m32);
  const std::string error =
      WriteM32(image, like != nullptr ? *like : HeaderNamedAfter(KnownName(output.name)), sink, average);
  if (error.empty() && m32->Commit()) return {};
  if (!file.Error().empty()) return file.Error();
  return m32->Error().empty() ? error : m32->Error();
}

}  // namespace

std::string ConvertImageFile(InputFile& input, bool png, const Destination& output, const M32Header* like,
                             MipAverage average) {
  if (!input.Error().empty()) return input.Error();
  if (png) return ConvertImage(PngReader(input), input, output, like, average);
  return ConvertImage(TgaReader(input), input, output, like, average);
}

std::string ConvertTgaFile(const std::filesystem::path& input, const std::filesystem::path& output,
                           const M32Header* like, MipAverage average) {
  InputFile file(input);
  return ConvertImageFile(file, IsPngName(input), DestinationAt(output), like, average);
}

}  // namespace m32tga
