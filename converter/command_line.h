// What the user asked for on the command line.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "convert.h"
#include "m32_writer.h"
#include "tga.h"

namespace m32tga {

enum class Action { kConvert, kHelp, kVersion, kUsageError };

struct CommandLine {
  Action action = Action::kConvert;
  TgaDepth depth = TgaDepth::kBgr24;  // for a PNG, kBgra32 keeps alpha even when all is opaque
  MipAverage mips = MipAverage::kPlain;
  std::optional<std::filesystem::path> output;
  bool standardOutput = false;                // -o -
  std::optional<std::filesystem::path> like;  // the m32 whose fields a TGA's m32 takes, or their folder
  std::optional<Format> to;                   // otherwise each input's other format
  bool recursive = false;                     // folders are walked, and -o names a folder
  bool update = false;                        // only outputs missing or older than their inputs
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

}  // namespace m32tga
