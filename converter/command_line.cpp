#include "converter/command_line.h"

#include <algorithm>
#include <string_view>
#include <system_error>
#include <utility>

#include "converter/convert.h"
#include "converter/jobs.h"
#include "converter_version.h"
#include "system/console.h"
#include "system/files.h"

namespace converter {

const char kUsage[] = "Usage: " PELLICAR_CONVERTER
                      " [OPTION]... [--] FILE...\n"
                      "       " PELLICAR_CONVERTER
                      " -r [OPTION]... [--] FOLDER...\n"
                      "Converts each texture (m32, m8 or WAL) to an uncompressed TGA (or a PNG) beside\n"
                      "it, and each TGA or PNG back to a texture: rock.m32 becomes rock.tga, rock.tga\n"
                      "and rock.png become rock.m32 (any case of the extension). Any other name is read\n"
                      "as an m32 and gets .tga appended. A texture becomes a PNG with --to png or an\n"
                      "OUTPUT named *.png; an image becomes an m8 or a WAL with --to, an OUTPUT of that\n"
                      "name or a --like texture of that format. A texture made from an image holds\n"
                      "every mip level down to 1 x 1 (a WAL its four). A PNG's gamma and colour\n"
                      "profile are not applied. An earlier file of the output's name is replaced only\n"
                      "once the new one is complete, keeping its permissions; a link there is\n"
                      "replaced, not what it points to. A read-only file is left alone, as is anything\n"
                      "there but a file or a link, and every input. On Windows the program itself\n"
                      "expands * and ? in the last part of each FILE.\n"
                      "\n"
                      "8-bit textures: an m8 holds its palette; a WAL's is the game's (--palette). Each\n"
                      "becomes a TGA through its palette, or with --to png a palette PNG of its own\n"
                      "palette and indices, which an editor that keeps indexed images (GIMP) edits as\n"
                      "indices. Back, a palette PNG whose palette is the texture's keeps its indices;\n"
                      "any other pixel takes the nearest palette colour in linear light (never index\n"
                      "255, nor 0 in an m8), and with --like one of the colour of the reference's index\n"
                      "at its place keeps that index. They have no alpha: an image's is dropped. Each\n"
                      "mip level is averaged in true colour, then mapped. Whatever the texture, when\n"
                      "level 0 comes back as the --like texture's, its own mip levels are kept as they\n"
                      "were, so an untouched texture comes back byte for byte.\n"
                      "\n"
                      "  --alpha         texture to TGA: write 32-bit TGA keeping the alpha channel\n"
                      "                  (default: 24-bit); m32 to PNG: RGBA even when every pixel\n"
                      "                  is opaque (default: RGBA only when one is not)\n"
                      "  --mips linear   image to texture: average each mip level's 2 x 2 blocks in\n"
                      "                  linear light, so fine detail keeps its brightness\n"
                      "  --mips plain    average the stored bytes, as the game's tools did (default)\n"
                      "  --like REF      image to texture: take the names, flags and every other field\n"
                      "                  but the sizes from the texture REF, and an m8's palette; its\n"
                      "                  format is the output's without --to (default: the name is the\n"
                      "                  output's file name without extension, the scales 1.0, all\n"
                      "                  else 0); REF may be the output itself\n"
                      "                  (with a folder: the texture at the same relative path, any\n"
                      "                  case of its extension, whose format the output takes, so a\n"
                      "                  tree of m32, m8 and WAL textures comes back as it was; an\n"
                      "                  image without one gets --to's format and the default fields)\n"
                      "  --palette FILE  the palette of WAL textures, and of m8 textures made without\n"
                      "                  an m8 --like: a 256-colour PCX (the game's pics/colormap.pcx),\n"
                      "                  a JASC-PAL file, an m8, or 768 bytes of colour (palette.lmp)\n"
                      "  --dither        image to m8 or WAL: diffuse each pixel's error to the pixels\n"
                      "                  not yet mapped (Floyd-Steinberg, serpentine, in linear\n"
                      "                  light), for gradients and photographs (default: the\n"
                      "                  nearest colour)\n"
                      "  -o OUTPUT       name the output file (one input only; not the input itself);\n"
                      "                  with -r the folder the outputs go to, at their relative paths;\n"
                      "                  -o - writes a TGA or PNG to standard output, for a pipe\n"
                      "  -r              convert the files in each FOLDER and its subfolders, leaving out\n"
                      "                  hidden ones and links to folders; a FILE converts as itself\n"
                      "  --to FORMAT     tga, png, m32, m8 or wal: the format to write (default: a TGA\n"
                      "                  from a texture, an m32 from an image); a folder gives its\n"
                      "                  textures, or with --to m32, m8 or wal its TGA and PNG files\n"
                      "  -u, --update    convert only where the output is missing or older than the\n"
                      "                  input or its --like texture, comparing modification times as\n"
                      "                  cp -u does (within 2 seconds where the output's file system\n"
                      "                  keeps times in 2-second steps, as FAT does)\n"
                      "  -n, --dry-run   check all a real run checks, reading each input's header but\n"
                      "                  not its pixels, and print each output that would be written,\n"
                      "                  and from which input; write nothing\n"
                      "  -j N            run N conversions at once, 1 to " PELLICAR_TEXT_OF(PELLICAR_MOST_JOBS) " (default: one per core)\n"
                      "  --              treat every later argument as a file, even one starting with -\n"
                      "  --help          show this help\n"
                      "  --version       show the version\n"
                      "\n"
                      "Each failure is one line on stderr, in the order of the inputs; after more than\n"
                      "one file a summary goes to stdout (\"5,675 converted, 3 failed\"). On a terminal\n"
                      "stderr shows the progress (\"1,234 of 5,678\"). A whole tree there and back:\n"
                      "  " PELLICAR_CONVERTER
                      " -r textures -o edit\n"
                      "  " PELLICAR_CONVERTER
                      " -r edit --to m32 --like textures -o textures-new\n"
                      "and of WAL textures, through palette PNGs:\n"
                      "  " PELLICAR_CONVERTER
                      " -r textures --to png --palette pics/colormap.pcx -o edit\n"
                      "  " PELLICAR_CONVERTER
                      " -r edit --to wal --like textures --palette colormap.pcx -o new\n"
                      "\n"
                      "Exit status: 0 when every file converted, 1 when any failed (the others are\n"
                      "still converted), 2 for a wrong command line.\n";

const char kVersionText[] = PELLICAR_CONVERTER " " PELLICAR_VERSION "\n";

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

// A TGA or PNG may go to a pipe or a file, never to a terminal; an m32 is written out of
// order.
std::string StandardOutputMistake(const CommandLine& line) {
  if (line.recursive) return "-o - writes one file to standard output, and -r writes a tree to a folder";
  if (const Format written = line.to.value_or(OtherFormat(FormatOf(line.inputs.front()))); IsTexture(written))
    return "-o - takes a TGA or a PNG: " + Named(written) + " is written out of order and needs a file";
  if (sys::OutputIsTerminal()) return "-o -: standard output is a terminal; send it to a file or a pipe";
  const auto written = sys::StandardOutputIdentity();
  if (written && written == sys::IdentityOf(line.inputs.front()))
    return "-o -: standard output is the input file itself";
  return {};
}

// The output named with -o must be a file, and not the input under any name.
std::string OutputMistake(const std::filesystem::path& output, const std::filesystem::path& input) {
  if (output.empty()) return "-o needs a file name, and an empty one names nothing";
  if (sys::NamesFolder(output)) return "-o " + sys::DisplayName(output) + ": the name is a folder, not a file";
  if (sys::SameFile(output, input)) return "-o " + sys::DisplayName(output) + " is the input file itself";
  return {};
}

// After the options are read, so that a file found whose name starts with '-' is a file;
// never in the names --like and -o take.
void ExpandWildcards(CommandLine& line) {
  const std::vector<std::filesystem::path> given = std::exchange(line.inputs, {});
  for (const std::filesystem::path& argument : given) {
    sys::NamedFiles named = sys::FilesNamedBy(argument);
    if (!named.error.empty()) line.unmatched.push_back(sys::DisplayName(argument) + ": " + named.error);
    line.inputs.insert(line.inputs.end(), named.files.begin(), named.files.end());
  }
}

std::optional<Format> FormatNamed(const std::filesystem::path& argument) {
  for (const FormatName& known : kFormats) {
    if (Is(argument, known.name)) return known.format;
  }
  return std::nullopt;
}

std::string FormatChoices() {
  std::string choices;
  for (const FormatName& known : kFormats) choices += (choices.empty() ? "" : " or ") + std::string(known.name);
  return choices;
}

// A number of jobs from 1 to kMostJobs, or 0 for anything else.
unsigned JobsNamed(const std::filesystem::path& argument) {
  const auto& text = argument.native();
  unsigned jobs = 0;
  for (const auto digit : text) {
    if (digit < '0' || digit > '9' || jobs > kMostJobs) return 0;
    jobs = jobs * 10 + static_cast<unsigned>(digit - '0');
  }
  return jobs <= kMostJobs ? jobs : 0;
}

// An 8-bit texture written needs a palette: an m8's from an m8 --like or --palette, a
// WAL's from --palette, where the command line says which is written.
std::string PaletteMistake(const CommandLine& line) {
  if (line.palette) return {};
  std::optional<Format> written = line.to;
  if (!written && line.output && !line.recursive) written = NamedFormat(*line.output);
  if (!written && line.like && !sys::NamesFolder(*line.like)) written = ReferenceFormat(*line.like);
  if (written == Format::kWal) return "a WAL is written with --palette: it holds no palette of its own";
  if (written == Format::kM8 && !line.like)
    return "an m8 is written with --palette, or an m8 --like: it takes its palette from one";
  return {};
}

CommandLine UsageError(std::string message) {
  CommandLine wrong;
  wrong.action = Action::kUsageError;
  wrong.error = std::move(message);
  return wrong;
}

// With -r, -o names the folder the outputs go to: nothing else may have that name.
CommandLine FolderMistake(CommandLine line) {
  const std::filesystem::path& folder = *line.output;
  std::error_code ignored;
  if (folder.empty()) return UsageError("-o needs a folder name");
  if (line.standardOutput) return UsageError(StandardOutputMistake(line));
  if (std::filesystem::exists(folder, ignored) && !sys::NamesFolder(folder))
    return UsageError("-o " + sys::DisplayName(folder) +
                      ": with -r it names the folder of the outputs, and it is a file");
  return line;
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
      line.depth = formats::TgaDepth::kBgra32;
    } else if (Is(argument, "--mips")) {
      const std::filesystem::path value = i + 1 < arguments.size() ? arguments[++i] : std::filesystem::path();
      if (!Is(value, "linear") && !Is(value, "plain")) return UsageError("--mips takes linear or plain");
      line.mips = Is(value, "linear") ? formats::MipAverage::kLinear : formats::MipAverage::kPlain;
    } else if (Is(argument, "--like")) {
      if (line.like) return UsageError("--like given twice");
      if (i + 1 == arguments.size()) return UsageError("--like needs a texture");
      line.like = arguments[++i];
    } else if (Is(argument, "--palette")) {
      if (line.palette) return UsageError("--palette given twice");
      if (i + 1 == arguments.size()) return UsageError("--palette needs a palette file");
      line.palette = arguments[++i];
    } else if (Is(argument, "--dither")) {
      line.dither = true;
    } else if (Is(argument, "-r")) {
      line.recursive = true;
    } else if (Is(argument, "-u") || Is(argument, "--update")) {
      line.update = true;
    } else if (Is(argument, "-n") || Is(argument, "--dry-run")) {
      line.dryRun = true;
    } else if (Is(argument, "--to")) {
      if (line.to) return UsageError("--to given twice");
      line.to = FormatNamed(i + 1 < arguments.size() ? arguments[++i] : std::filesystem::path());
      if (!line.to) return UsageError("--to takes " + FormatChoices());
    } else if (Is(argument, "-j")) {
      if (line.jobs != 0) return UsageError("-j given twice");
      line.jobs = i + 1 < arguments.size() ? JobsNamed(arguments[++i]) : 0;
      if (line.jobs == 0) return UsageError("-j takes a number of conversions from 1 to " + std::to_string(kMostJobs));
    } else if (Is(argument, "-o")) {
      if (line.output) return UsageError("-o given twice");
      if (i + 1 == arguments.size()) return UsageError("-o needs a file name");
      line.output = arguments[++i];
    } else {
      return UsageError("unknown option " + sys::DisplayName(argument) +
                        " (a file whose name starts with - goes after --)");
    }
  }
  if (line.inputs.empty()) return UsageError("no file to convert");
  const auto isImage = [](const std::filesystem::path& input) { return !IsTexture(FormatOf(input)); };
  const bool toTexture = line.to && IsTexture(*line.to);
  if (line.like && !line.recursive && !toTexture && std::none_of(line.inputs.begin(), line.inputs.end(), isImage)) {
    return UsageError("--like applies to TGA and PNG files, and none was given");
  }
  if (line.like && line.to && !toTexture) {
    return UsageError("--like applies to TGA and PNG files, and --to " + std::string(NameOf(*line.to).name) +
                      " reads none");
  }
  if (std::string mistake = PaletteMistake(line); !mistake.empty()) return UsageError(std::move(mistake));
  if (const auto named = line.output && !line.recursive ? NamedFormat(*line.output) : std::nullopt;
      named && line.to && *named != *line.to) {
    return UsageError("-o names a " + std::string(NameOf(*named).name) + " file, and --to asks for " +
                      std::string(NameOf(*line.to).name));
  }
  ExpandWildcards(line);
  line.standardOutput = line.output && Is(*line.output, "-");
  if (line.standardOutput && !line.inputs.empty() && line.inputs.size() < 2) {
    std::string mistake = StandardOutputMistake(line);
    return mistake.empty() ? line : UsageError(std::move(mistake));
  }
  if (line.recursive) return line.output ? FolderMistake(std::move(line)) : line;
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

}  // namespace converter
