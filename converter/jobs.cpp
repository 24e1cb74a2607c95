#include "converter/jobs.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "converter/convert.h"
#include "system/console.h"
#include "system/files.h"
#include "system/number_text.h"

namespace converter {
namespace {

namespace fs = std::filesystem;

enum class Ending { kConverted, kFailed, kUpToDate, kListed };

struct Outcome {
  Ending ending = Ending::kFailed;
  std::string line;  // for stderr when failed, for stdout when listed
};

using IfMissing = sys::Folder::IfMissing;

// The folders of a job, which its worker keeps open until its next job has opened its
// own: the files of one folder, which come one after another, share its descriptors.
struct HeldFolders {
  sys::OpenedFolder input;
  sys::OpenedFolder output;
  sys::OpenedFolder reference;
};

std::string FolderFailure(const sys::OpenedFolder& folder) {
  return "cannot open the folder " + sys::DisplayName(folder.failed) + ": " + folder.error;
}

// The reference of an image's texture, from a folder --like or the --like file: none
// when there is none, and its error, for the job's, when it cannot be read.
std::string OpenReference(const Job& job, const RunOptions& options, const HeldFolders& now,
                          std::optional<Reference>& reference) {
  if (job.referenceFolder) {
    if (!now.reference.held) return "--like " + sys::DisplayName(job.reference) + ": " + FolderFailure(now.reference);
    reference.emplace(std::make_unique<sys::InputFile>(*now.reference.held, LastPart(job.reference)), job.to);
  } else if (options.like && IsTexture(job.to)) {
    const Format like = ReferenceFormat(*options.like);
    if (like != job.to)
      return "--like " + sys::DisplayName(*options.like) + " is " + Named(like) + ", and the output " + Named(job.to);
    reference.emplace(*options.like, job.to);
  }
  if (!reference || reference->Error().empty()) return {};
  return "--like " + sys::DisplayName(job.referenceFolder ? fs::path(job.reference) : *options.like) + ": " +
         reference->Error();
}

// Every check of a real run is made in a dry run too, in the same order; it stops where
// the first byte would be written.
std::string Convert(const Job& job, const RunOptions& options, HeldFolders& held, Mappers& mappers) {
  HeldFolders now;
  if (job.outputFolder) {
    const IfMissing output = !job.makeFolder  ? IfMissing::kFail
                             : options.dryRun ? IfMissing::kCheckMaking
                                              : IfMissing::kMake;
    now.output = job.outputFolder->Open(output);
  }
  if (job.referenceFolder) now.reference = job.referenceFolder->Open(IfMissing::kFail);
  now.input = job.inputFolder->Open(IfMissing::kFail);
  held = now;
  if (job.makeFolder && !now.output.error.empty())
    return "cannot make the folder " + sys::DisplayName(now.output.failed) + ": " + now.output.error;
  // Open until the output is complete, and closed before it takes its place, so that it
  // may also be the output.
  std::optional<Reference> reference;
  if (std::string error = OpenReference(job, options, now, reference); !error.empty()) return error;
  if (!now.input.held) return FolderFailure(now.input);
  sys::InputFile input(*now.input.held, LastPart(job.input));
  const Destination output{now.output, LastPart(job.output), job.output, !job.outputFolder, options.dryRun};
  const Format from = NamedFormat(sys::KnownName(LastPart(job.input))).value_or(Format::kM32);
  if (!IsTexture(job.to)) return ConvertTexture(input, from, output, job.to, options.settings);
  return ConvertImage(input, from, output, job.to, reference ? &*reference : nullptr, options.settings, mappers);
}

Outcome Work(const Job& job, const RunOptions& options, HeldFolders& held, Mappers& mappers) {
  std::string error = job.refused;
  if (error.empty() && options.update && job.upToDate) return {Ending::kUpToDate, {}};
  if (error.empty()) error = Guarded([&] { return Convert(job, options, held, mappers); });
  if (error.empty() && options.dryRun)
    return {Ending::kListed, sys::DisplayName(job.output) + " from " + sys::DisplayName(job.input) + "\n"};
  if (error.empty()) return {Ending::kConverted, {}};
  return {Ending::kFailed, sys::DisplayName(job.input) + ": " + error + "\n"};
}

// "1,234 of 5,678" on stderr, each time over the last, when stderr is a terminal.
class Progress {
 public:
  explicit Progress(std::size_t total) : total_(total), shown_(total > 1 && sys::ErrorIsTerminal()) {}
  ~Progress() { Clear(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Show(std::size_t done) {
    using namespace std::chrono_literals;
    const auto now = std::chrono::steady_clock::now();
    if (!shown_ || (now - last_ < 100ms && done != total_)) return;
    last_ = now;
    const std::string text = sys::WithSeparators(done) + " of " + sys::WithSeparators(total_);
    width_ = text.size();
    sys::PrintError("\r" + text);
  }

  // Before a message, which takes the line.
  void Clear() {
    if (width_ > 0) {
      std::string blank(width_ + 2, ' ');
      blank.front() = blank.back() = '\r';
      sys::PrintError(blank);
    }
    width_ = 0;
    last_ = {};
  }

 private:
  std::size_t total_;
  bool shown_;
  std::size_t width_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

class Reporter {
 public:
  Reporter(std::size_t total, std::span<const Job> jobs) : progress_(total), jobs_(jobs) {}

  void Report(const Outcome& outcome, std::size_t index, std::size_t done) {
    if (outcome.ending == Ending::kFailed) {
      progress_.Clear();
      sys::PrintError(outcome.line);
    } else if (outcome.ending == Ending::kListed) {
      progress_.Clear();
      const std::string failure = sys::PrintOutput(outcome.line);
      if (tally_.outputError.empty()) tally_.outputError = failure;
    }
    Count(outcome.ending, jobs_[index]);
    progress_.Show(done);
  }
  void Show(std::size_t done) { progress_.Show(done); }
  const Tally& Counted() const { return tally_; }

 private:
  void Count(Ending ending, const Job& job) {
    if (ending == Ending::kFailed) ++tally_.failed;
    if (ending == Ending::kUpToDate) ++tally_.upToDate;
    if (ending == Ending::kConverted || ending == Ending::kListed) {
      ++tally_.converted;
      if (job.defaultFields) ++tally_.defaultFields;
    }
  }

  Progress progress_;
  std::span<const Job> jobs_;
  Tally tally_;
};

Tally OneByOne(std::span<const Job> jobs, const RunOptions& options) {
  Reporter reporter(jobs.size(), jobs);
  HeldFolders held;
  Mappers mappers;
  for (std::size_t i = 0; i < jobs.size(); ++i) reporter.Report(Work(jobs[i], options, held, mappers), i, i + 1);
  return reporter.Counted();
}

// Workers take the next job as each finishes; this thread reports the outcomes in the
// jobs' order as they become known.
class Pool {
 public:
  Pool(std::span<const Job> jobs, const RunOptions& options) : jobs_(jobs), options_(options), outcomes_(jobs.size()) {}

  Tally Run() {
    std::vector<std::jthread> workers;
    workers.reserve(options_.threads);
    try {
      for (unsigned i = 0; i < options_.threads; ++i) workers.emplace_back([this] { Take(); });
    } catch (const std::system_error&) {
      // No more threads now: those that started do the work.
    }
    if (workers.empty()) return OneByOne(jobs_, options_);
    Reporter reporter(jobs_.size(), jobs_);
    for (std::size_t i = 0; i < jobs_.size(); ++i) {
      std::unique_lock lock(mutex_);
      while (!outcomes_[i]) {
        finishedOne_.wait_for(lock, std::chrono::milliseconds(100));
        const std::size_t done = done_;
        lock.unlock();
        reporter.Show(done);
        lock.lock();
      }
      const Outcome outcome = std::move(*outcomes_[i]);
      const std::size_t done = done_;
      lock.unlock();
      reporter.Report(outcome, i, done);
    }
    return reporter.Counted();
  }

 private:
  void Take() {
    HeldFolders held;
    Mappers mappers;
    for (std::size_t i = next_++; i < jobs_.size(); i = next_++) {
      Outcome outcome = Work(jobs_[i], options_, held, mappers);
      const std::lock_guard lock(mutex_);
      outcomes_[i] = std::move(outcome);
      ++done_;
      finishedOne_.notify_one();
    }
  }

  std::span<const Job> jobs_;
  const RunOptions& options_;
  std::atomic<std::size_t> next_{0};
  std::mutex mutex_;
  std::condition_variable finishedOne_;
  std::vector<std::optional<Outcome>> outcomes_;
  std::size_t done_ = 0;
};

}  // namespace

Tally RunJobs(std::span<const Job> jobs, const RunOptions& options) {
  if (options.threads > 1 && jobs.size() > 1) return Pool(jobs, options).Run();
  return OneByOne(jobs, options);
}

std::string Summary(const Tally& tally, const RunOptions& options) {
  std::string text = sys::WithSeparators(tally.converted) + (options.dryRun ? " to convert" : " converted");
  if (tally.defaultFields > 0) text += " (" + sys::WithSeparators(tally.defaultFields) + " with default fields)";
  text += ", " + sys::WithSeparators(tally.failed) + " failed";
  if (options.update) text += ", " + sys::WithSeparators(tally.upToDate) + " up to date";
  return text + "\n";
}

}  // namespace converter
