#include "command_line.h"

#include <algorithm>
#include <string_view>

#include "converter_version.h"
#include "file_io.h"

namespace m32tga {

const char kUsage[] =
    "Usage: Pellicar.exe [--alpha] [-o OUTPUT] [--] FILE.m32...\n"
    "Converts each m32 texture to an uncompressed TGA beside it: rock.m32 becomes\n"
    "rock.tga; a name not ending in .m32 gets .tga appended. An earlier TGA of that\n"
    "name is replaced only once the new one is complete, keeping its permissions; a\n"
    "read-only one is left alone.\n"
    "\n"
    "  --alpha      write 32-bit TGA keeping the alpha channel (default: 24-bit)\n"
    "  -o OUTPUT    name the output file (one input only; not the input itself)\n"
    "  --           treat every later argument as a file, even one starting with -\n"
    "  --help       show this help\n"
    "  --version    show the version\n"
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
    } else if (Is(argument, "-o")) {
      if (line.output) return UsageError("-o given twice");
      if (i + 1 == arguments.size()) return UsageError("-o needs a file name");
      line.output = arguments[++i];
    } else {
      return UsageError("unknown option " + DisplayName(argument) + " (a file whose name starts with - goes after --)");
    }
  }
  if (line.inputs.empty()) return UsageError("no file to convert");
  if (line.output && line.inputs.size() > 1) {
    return UsageError("-o names the output of one file, but " + std::to_string(line.inputs.size()) +
                      " files were given");
  }
  if (line.output) {
    if (std::string mistake = OutputMistake(*line.output, line.inputs.front()); !mistake.empty()) {
      return UsageError(std::move(mistake));
    }
  }
  return line;
}

}  // namespace m32tga
