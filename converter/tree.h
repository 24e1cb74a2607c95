// From the command line's names to the conversions to run: folders walked, outputs
// placed, --like m32 files found, and no output over an input.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "convert.h"
#include "file_io.h"

namespace m32tga {

// Names are kept in the system's form rather than as paths, which hold each of their
// parts again: a tree of 10,000 files takes a few MiB, not tens.
using Name = FileName;

struct Job {
  Name input;
  Name output;
  Format to = Format::kTga;
  Name reference;              // the m32 whose fields it takes, from a folder --like
  bool defaultFields = false;  // a folder --like held no m32 for it
  bool makeFolder = false;     // the output's folder is made when missing
  bool upToDate = false;       // the output is no older than the input and the reference
  std::string refused;         // why it cannot be converted, when it cannot
  bool looked = false;         // the facts below were read in the walk
  std::optional<FileFacts> inputFacts;
  std::optional<FileFacts> outputFacts;
};

struct Plan {
  std::vector<Job> jobs;  // in the order of the names, each folder's files in name order
  std::string mistake;    // an output that would replace an input: a command-line mistake
};

// With -u, whether each output is up to date is found here too; the files are looked
// at on `threads` threads.
Plan PlanJobs(const CommandLine& line, unsigned threads);

}  // namespace m32tga
