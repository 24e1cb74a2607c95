#include "jobs.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "convert.h"
#include "file_io.h"
#include "system/number_text.h"

namespace m32tga {
namespace {

namespace fs = std::filesystem;

enum class Ending { kConverted, kFailed, kUpToDate, kListed };

struct Outcome {
  Ending ending = Ending::kFailed;
  std::string line;  // for stderr when failed, for stdout when listed
};

std::string Convert(const Job& job, const RunOptions& options) {
  const fs::path output = job.output;
  if (job.makeFolder && output.has_parent_path()) {
    const std::string error = MakeFolders(output.parent_path());
    if (!error.empty()) return "cannot make the folder " + DisplayName(output.parent_path()) + ": " + error;
  }
  if (job.to != Format::kM32) return ConvertFile(job.input, output, options.depth);
  if (job.reference.empty()) return ConvertTgaFile(job.input, output, options.like, options.mips);
  // Read whole before the output is written, so that it may also be the output.
  const M32Reference like = ReadM32Reference(job.reference);
  if (!like.error.empty()) return "--like " + DisplayName(job.reference) + ": " + like.error;
  return ConvertTgaFile(job.input, output, &like.header, options.mips);
}

Outcome Work(const Job& job, const RunOptions& options) {
  std::string error = job.refused;
  if (error.empty() && options.update && job.upToDate) return {Ending::kUpToDate, {}};
  if (error.empty() && options.dryRun) {
    return {Ending::kListed, DisplayName(fs::path(job.output)) + " from " + DisplayName(fs::path(job.input)) + "\n"};
  }
  if (error.empty()) error = Guarded([&] { return Convert(job, options); });
  if (error.empty()) return {Ending::kConverted, {}};
  return {Ending::kFailed, DisplayName(fs::path(job.input)) + ": " + error + "\n"};
}

// "1,234 of 5,678" on stderr, each time over the last, when stderr is a terminal.
class Progress {
 public:
  explicit Progress(std::size_t total) : total_(total), shown_(total > 1 && ErrorIsTerminal()) {}
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
    PrintError("\r" + text);
  }

  // Before a message, which takes the line.
  void Clear() {
    if (width_ > 0) {
      std::string blank(width_ + 2, ' ');
      blank.front() = blank.back() = '\r';
      PrintError(blank);
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
      PrintError(outcome.line);
    } else if (outcome.ending == Ending::kListed) {
      progress_.Clear();
      PrintOutput(outcome.line);
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

// Workers take the next job as each finishes; this thread reports the outcomes in the
// jobs' order as they become known.
class Pool {
 public:
  Pool(std::span<const Job> jobs, const RunOptions& options) : jobs_(jobs), options_(options), outcomes_(jobs.size()) {}

  Tally Run() {
    std::vector<std::jthread> workers;
    for (unsigned i = 0; i < options_.threads; ++i) workers.emplace_back([this] { Take(); });
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
    for (std::size_t i = next_++; i < jobs_.size(); i = next_++) {
      Outcome outcome = Work(jobs_[i], options_);
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
  Reporter reporter(jobs.size(), jobs);
  for (std::size_t i = 0; i < jobs.size(); ++i) reporter.Report(Work(jobs[i], options), i, i + 1);
  return reporter.Counted();
}

std::string Summary(const Tally& tally, const RunOptions& options) {
  std::string text = sys::WithSeparators(tally.converted) + (options.dryRun ? " to convert" : " converted");
  if (tally.defaultFields > 0) text += " (" + sys::WithSeparators(tally.defaultFields) + " with default fields)";
  text += ", " + sys::WithSeparators(tally.failed) + " failed";
  if (options.update) text += ", " + sys::WithSeparators(tally.upToDate) + " up to date";
  return text + "\n";
}

}  // namespace m32tga
