// From the command line's names to the conversions to run: folders walked, outputs
// placed, --like m32 files found, no output over an input, none written twice.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "converter/command_line.h"
#include "converter/convert.h"
#include "system/files.h"

namespace converter {

// Names are kept in the system's form rather than as paths, which hold each of their
// parts again: a tree of 10,000 files takes a few MiB, not tens.
using Name = sys::FileName;

// Every file is reached from its folder, which is reached from the one above it; the
// names below are as messages show them, and their last parts are the files' names.
struct Job {
  std::shared_ptr<sys::Folder> inputFolder;
  Name input;
  std::shared_ptr<sys::Folder> outputFolder;  // none for standard output
  Name output;
  Format to = Format::kTga;
  std::shared_ptr<sys::Folder> referenceFolder;  // of the m32 whose fields it takes, from a folder --like
  Name reference;
  bool defaultFields = false;  // a folder --like held no m32 for it
  bool makeFolder = false;     // the output's folder is made when missing
  bool upToDate = false;       // the output is no older than the input and the references
  std::string refused;         // why it cannot be converted, when it cannot
  bool looked = false;         // its files were looked at in the walk
  std::optional<sys::FileIdentity> inputIdentity;
  std::optional<sys::FileIdentity> outputIdentity;  // of what is there now, through a link
};

// The name of a job's file in its folder.
sys::FileName LastPart(const Name& shown);

struct Plan {
  std::vector<Job> jobs;  // in the order of the names, each folder's files in name order
  std::string mistake;    // an output that would replace an input: a command-line mistake
};

// With -u, whether each output is up to date is found here too, against `likeFile` (a
// --like file's facts) as well; the files are looked at on `threads` threads.
Plan PlanJobs(const CommandLine& line, unsigned threads, const std::optional<sys::FileFacts>& likeFile);

// Runs `work` for every index below `count`, on up to `threads` threads, this one
// included; with fewer when no more can start.
void AtOnce(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& work);

}  // namespace converter
