// Running the conversions: on several threads at once, their messages in the order of
// the inputs, a progress line on a terminal, and the tally.
#pragma once

#include <cstddef>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <span>
#include <string>

#include "converter/convert.h"
#include "converter/tree.h"
#include "formats/m32_writer.h"
#include "formats/tga_writer.h"

namespace converter {

// The most conversions that run at once, each writing one output (two spare, for what a
// signal's clean-up must find). A macro too, for the help text that names it.
#define PELLICAR_MOST_JOBS 64
#define PELLICAR_TEXT_OF(number) PELLICAR_TEXT_OF_DIGITS(number)
#define PELLICAR_TEXT_OF_DIGITS(number) #number
inline constexpr unsigned kMostJobs = PELLICAR_MOST_JOBS;
static_assert(2 * kMostJobs <= sys::kMostOutputsAtOnce);

struct RunOptions {
  Settings settings;
  std::optional<std::filesystem::path> like;  // a --like file, for every image
  bool update = false;
  bool dryRun = false;
  unsigned threads = 1;
};

struct Tally {
  std::size_t converted = 0;
  std::size_t failed = 0;
  std::size_t upToDate = 0;
  std::size_t defaultFields = 0;  // of those converted, with no m32 in the --like folder
  std::string outputError;        // why a dry run's list could not be written to stdout
};

// Prints each failure on stderr and, with --dry-run, each output on stdout. With fewer
// threads than asked when no more can start, at least this one.
Tally RunJobs(std::span<const Job> jobs, const RunOptions& options);

// "5,675 converted, 3 failed", and the files left alone, for stdout.
std::string Summary(const Tally& tally, const RunOptions& options);

// What `work` says went wrong, also when it throws: memory running out, a name the
// system cannot convert. The files it opened clean up as the exception leaves them, so
// that nothing is left behind.
template <typename Work>
std::string Guarded(Work work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    return "not enough memory";
  } catch (const std::exception& failure) {
    return failure.what();
  }
}

}  // namespace converter
