// What the user asked for on the command line.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "converter/convert.h"
#include "formats/m32_writer.h"
#include "formats/tga_writer.h"

namespace converter {

enum class Action { kConvert, kHelp, kVersion, kUsageError };

struct CommandLine {
  Action action = Action::kConvert;
  formats::TgaDepth depth = formats::TgaDepth::kBgr24;  // for a PNG, kBgra32 keeps alpha even when all is opaque
  formats::MipAverage mips = formats::MipAverage::kPlain;
  std::optional<std::filesystem::path> output;
  bool standardOutput = false;                   // -o -
  std::optional<std::filesystem::path> like;     // the texture whose fields an image's texture takes, or their folder
  std::optional<std::filesystem::path> palette;  // a WAL's, and an m8's without an m8 --like
  bool dither = false;
  std::optional<Format> to;  // otherwise each input's other format
  bool recursive = false;    // folders are walked, and -o names a folder
  bool update = false;       // only outputs missing or older than their inputs
  bool dryRun = false;
  unsigned jobs = 0;                          // conversions at once; 0 for one per core
  std::vector<std::filesystem::path> inputs;  // with wildcards expanded where the program does it
  std::vector<std::string> unmatched;         // a failure for each wildcard that matched nothing
  std::string error;                          // for kUsageError
};

// The arguments after the program's name.
CommandLine ParseCommandLine(std::span<const std::filesystem::path> arguments);

extern const char kUsage[];
extern const char kVersionText[];

}  // namespace converter
