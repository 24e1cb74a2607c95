// From the command line's names to the conversions to run: folders walked, outputs
// placed, --like m32 files found, and no output over an input.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "command_line.h"
#include "convert.h"

namespace m32tga {

struct Job {
  std::filesystem::path input;
  std::filesystem::path output;
  Format to = Format::kTga;
  std::filesystem::path reference;  // the m32 whose fields it takes, from a folder --like
  bool defaultFields = false;       // a folder --like held no m32 for it
  bool makeFolder = false;          // the output's folder is made when missing
  std::string refused;              // why it cannot be converted, when it cannot
};

struct Plan {
  std::vector<Job> jobs;  // in the order of the names, each folder's files in name order
  std::string mistake;    // an output that would replace an input: a command-line mistake
};

Plan PlanJobs(const CommandLine& line);

}  // namespace m32tga
