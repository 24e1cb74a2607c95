#include "command_line.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "convert.h"
#include "converter_version.h"
#include "file_io.h"

namespace m32tga {

const char kUsage[] =
    "Usage: Pellicar.exe [--alpha] [--to png] [--like REF.m32] [--mips linear|plain]\n"
    "                    [-o OUTPUT] [--] FILE...\n"
    "Converts each m32 texture to an uncompressed TGA (or a PNG) beside it, and each\n"
    "TGA or PNG back to an m32 texture: rock.m32 becomes rock.tga, rock.tga and\n"
    "rock.png become rock.m32 (any case of the extension). Any other name is read as\n"
    "an m32 and gets .tga appended. An m32 becomes a PNG with --to png or an OUTPUT\n"
    "named *.png. An m32 made from a TGA or PNG holds every mip level down to 1 x 1.\n"
    "A PNG's gamma and colour profile are not applied. An earlier file of the\n"
    "output's name is replaced only once the new one is complete, keeping its\n"
    "permissions; a link there is replaced, not what it points to. A read-only file\n"
    "is left alone, as is anything there but a file or a link, and every input. On\n"
    "Windows the program itself expands * and ? in the last part of each FILE.\n"
    "\n"
    "  --alpha         m32 to TGA: write 32-bit TGA keeping the alpha channel\n"
    "                  (default: 24-bit); m32 to PNG: RGBA even when every pixel\n"
    "                  is opaque (default: RGBA only when one is not)\n"
    "  --to png        m32 to PNG instead of TGA (--to tga, --to m32: as without)\n"
    "  --mips linear   TGA or PNG to m32: average each mip level's 2 x 2 blocks in\n"
    "                  linear light, so fine detail keeps its brightness\n"
    "  --mips plain    average the stored bytes, as the game's tools did (default)\n"
    "  --like REF.m32  TGA to m32: take the names, flags and every other field but the\n"
    "                  sizes from REF.m32 (default: the name is the output's file name\n"
    "                  without extension, the scales 1.0, all else 0); REF.m32 may be\n"
    "                  the output itself\n"
    "  -o OUTPUT       name the output file (one input only; not the input itself)\n"
    "  --              treat every later argument as a file, even one starting with -\n"
    "  --help          show this help\n"
    "  --version       show the version\n"
    "\n"
    "Exit status: 0 when every file converted, 1 when any failed (the others are\n"
    "still converted), 2 for a wrong command line.\n";

const char kVersionText[] = "Pellicar.exe " PELLICAR_VERSION "\n";

namespace {

// Compares an argument with an option name character by character, so that arguments
// stay in the system's own form (bytes on POSIX, UTF-16 on Windows).
bool Is(const std::filesystem::path& argument, std::string_view option) {
  const auto& text = argument.native();
  return std::equal(text.begin(), text.end(), option.begin(), option.end(),
                    [](auto a, char b) { return a == static_cast<unsigned char>(b); });
}

bool LooksLikeOption(const std::filesystem::path& argument) {
  const auto& text = argument.native();
  return text.size() > 1 && text[0] == '-';
}

// The output named with -o must be a file, and not the input under any name.
std::string OutputMistake(const std::filesystem::path& output, const std::filesystem::path& input) {
  if (output.empty()) return "-o needs a file name, and an empty one names nothing";
  if (NamesFolder(output)) return "-o " + DisplayName(output) + ": the name is a folder, not a file";
  if (SameFile(output, input)) return "-o " + DisplayName(output) + " is the input file itself";
  return {};
}

// After the options are read, so that a file found whose name starts with '-' is a file;
// never in the names --like and -o take.
void ExpandWildcards(CommandLine& line) {
  const std::vector<std::filesystem::path> given = std::exchange(line.inputs, {});
  for (const std::filesystem::path& argument : given) {
    NamedFiles named = FilesNamedBy(argument);
    if (!named.error.empty()) line.unmatched.push_back(DisplayName(argument) + ": " + named.error);
    line.inputs.insert(line.inputs.end(), named.files.begin(), named.files.end());
  }
}

CommandLine UsageError(std::string message) {
  CommandLine wrong;
  wrong.action = Action::kUsageError;
  wrong.error = std::move(message);
  return wrong;
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::filesystem::path> arguments) {
  CommandLine line;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::filesystem::path& argument = arguments[i];
    if (optionsEnded || !LooksLikeOption(argument)) {
      line.inputs.push_back(argument);
    } else if (Is(argument, "--")) {
      optionsEnded = true;
    } else if (Is(argument, "--help") || Is(argument, "-h")) {
      line.action = Action::kHelp;
      return line;
    } else if (Is(argument, "--version")) {
      line.action = Action::kVersion;
      return line;
    } else if (Is(argument, "--alpha")) {
      line.depth = TgaDepth::kBgra32;
    } else if (Is(argument, "--to") || Is(argument, "--mips")) {
      if (i + 1 == arguments.size()) return UsageError(DisplayName(argument) + " needs a value");
      const std::filesystem::path& value = arguments[++i];
      if (Is(argument, "--to") && (Is(value, "png") || Is(value, "tga") || Is(value, "m32"))) {
        line.toPng = Is(value, "png");
      } else if (Is(argument, "--mips") && (Is(value, "linear") || Is(value, "plain"))) {
        line.mips = Is(value, "linear") ? MipAverage::kLinear : MipAverage::kPlain;
      } else {
        return UsageError(DisplayName(argument) + " does not take " + DisplayName(value));
      }
    } else if (Is(argument, "--like")) {
      if (line.like) return UsageError("--like given twice");
      if (i + 1 == arguments.size()) return UsageError("--like needs an m32 file");
      line.like = arguments[++i];
    } else if (Is(argument, "-o")) {
      if (line.output) return UsageError("-o given twice");
      if (i + 1 == arguments.size()) return UsageError("-o needs a file name");
      line.output = arguments[++i];
    } else {
      return UsageError("unknown option " + DisplayName(argument) + " (a file whose name starts with - goes after --)");
    }
  }
  if (line.inputs.empty()) return UsageError("no file to convert");
  const auto isImage = [](const std::filesystem::path& input) { return IsTgaName(input) || IsPngName(input); };
  if (line.like && std::none_of(line.inputs.begin(), line.inputs.end(), isImage)) {
    return UsageError("--like applies to TGA and PNG files, and none was given");
  }
  ExpandWildcards(line);
  if (const std::size_t files = line.inputs.size() + line.unmatched.size(); line.output && files > 1) {
    return UsageError("-o names the output of one file, but " + std::to_string(files) + " files were given");
  }
  if (line.output && !line.inputs.empty()) {
    if (std::string mistake = OutputMistake(*line.output, line.inputs.front()); !mistake.empty()) {
      return UsageError(std::move(mistake));
    }
  }
  return line;
}

}  // namespace m32tga
