#include "tree.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <atomic>
#include <map>
#include <numeric>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "file_io.h"

namespace m32tga {
namespace {

namespace fs = std::filesystem;

enum class Kind { kLeftOut, kFolder, kFile };

// Hidden files and folders are left out, and links to folders are not followed, so that
// a walk ends; a link to a file is converted as that file.
Kind KindOf(const fs::directory_entry& entry) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesW(entry.path().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Kind::kFile;  // its conversion says why
  if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return Kind::kLeftOut;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Kind::kFile;
  return attributes & FILE_ATTRIBUTE_REPARSE_POINT ? Kind::kLeftOut : Kind::kFolder;
#else
  std::error_code error;
  if (entry.path().filename().native().starts_with('.')) return Kind::kLeftOut;
  if (entry.is_directory(error)) return entry.is_symlink(error) ? Kind::kLeftOut : Kind::kFolder;
  return Kind::kFile;
#endif
}

class Planner {
 public:
  explicit Planner(const CommandLine& line) : line_(line) { likeFolder_ = line.like && NamesFolder(*line.like); }

  void Name(const fs::path& name) {
    if (line_.recursive && NamesFolder(name)) return Walk(name, {});
    Add(name, name.filename(), line_.to.value_or(FormatFor(name)));
  }

  std::vector<Job> Jobs() && { return std::move(jobs_); }

 private:
  // Without --to: what -o names when it names a TGA or a PNG, otherwise the input's other format.
  Format FormatFor(const fs::path& input) const {
    const auto named = line_.output ? NamedFormat(*line_.output) : std::nullopt;
    if (named && *named != Format::kM32 && !line_.recursive) return *named;
    return OtherFormat(FormatOf(input));
  }

  // A walk to m32 takes the TGA and PNG files, any other the m32 files.
  static bool Feeds(const fs::path& name, Format to) {
    const auto from = NamedFormat(name);
    return from && (to == Format::kM32) != (*from == Format::kM32);
  }

  // The files of `from`'s format in the folder, then in its subfolders, all in name order.
  void Walk(const fs::path& folder, const fs::path& relative) {
    const Format to = line_.to.value_or(Format::kTga);
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      entries.push_back(*it);
    }
    if (error) {
      Job unlisted;
      unlisted.input = folder.native();
      unlisted.refused = "cannot list the folder: " + error.message();
      jobs_.push_back(std::move(unlisted));
      return;
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::directory_entry& entry : entries) {
      const fs::path name = entry.path().filename();
      const Kind kind = KindOf(entry);
      if (kind == Kind::kFolder) Walk(entry.path(), relative / name);
      if (kind == Kind::kFile && Feeds(name, to)) Add(entry.path(), relative / name, to);
    }
  }

  void Add(const fs::path& input, const fs::path& relative, Format to) {
    Job job;
    job.input = input.native();
    job.to = to;
    if (!line_.output) {
      job.output = OutputFor(input, to).native();
    } else if (line_.recursive) {
      job.output = OutputFor(*line_.output / relative, to).native();
      job.makeFolder = true;
    } else {
      job.output = line_.output->native();
    }
    const Format from = FormatOf(input);
    if (from == to) job.refused = "read as " + std::string(NameOf(to).name) + ", the format it would be converted to";
    if (from != Format::kM32 && to != Format::kM32) {
      job.refused =
          "a " + std::string(NameOf(from).name) + " converts only to m32, not to " + std::string(NameOf(to).name);
    }
    if (likeFolder_ && to == Format::kM32) {
      job.reference = Reference(relative).native();
      job.defaultFields = job.reference.empty();
    }
    jobs_.push_back(std::move(job));
  }

  // The m32 at the same relative path under the --like folder, any case of its extension.
  fs::path Reference(const fs::path& relative) {
    const fs::path folder = relative.parent_path();
    auto [listed, fresh] = m32sIn_.try_emplace(folder);
    if (fresh) {
      std::error_code error;
      for (fs::directory_iterator it(*line_.like / folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path& file = it->path();
        if (HasFormatExtension(file, Format::kM32)) listed->second.try_emplace(file.stem(), file);
      }
    }
    const auto found = listed->second.find(relative.stem());
    return found == listed->second.end() ? fs::path() : found->second;
  }

  const CommandLine& line_;
  bool likeFolder_ = false;
  std::vector<Job> jobs_;
  std::map<fs::path, std::map<fs::path, fs::path>> m32sIn_;  // by folder, by name without extension
};

// Runs `work` for every index below `count`, on up to `threads` threads.
template <typename Work>
void AtOnce(std::size_t count, unsigned threads, Work work) {
  std::atomic<std::size_t> next{0};
  const auto take = [&] {
    for (std::size_t i = next++; i < count; i = next++) work(i);
  };
  std::vector<std::jthread> helpers;
  for (unsigned i = 1; i < threads && i < count; ++i) helpers.emplace_back(take);
  take();
}

// The later of two files with the same output is refused.
void RefuseSharedOutputs(std::vector<Job>& jobs) {
  std::vector<std::size_t> order(jobs.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return jobs[a].output < jobs[b].output; });
  for (std::size_t i = 1; i < order.size(); ++i) {
    Job& later = jobs[order[i]];
    if (later.output == jobs[order[i - 1]].output && later.refused.empty())
      later.refused = "its output " + DisplayName(later.output) + " is also that of an earlier file";
  }
}

// Each file is looked at once: the outputs, then, when any exists, the inputs, whose
// identities are looked up in a set of the outputs'; with -u, the times are compared.
std::string LookAtFiles(std::vector<Job>& jobs, const CommandLine& line, unsigned threads) {
  std::vector<std::optional<FileFacts>> outputs(jobs.size());
  AtOnce(jobs.size(), threads, [&](std::size_t i) { outputs[i] = FactsOf(jobs[i].output); });
  std::set<FileIdentity> written;
  for (const auto& output : outputs) {
    if (output) written.insert(output->identity);
  }
  if (written.empty()) return {};
  std::vector<std::optional<FileFacts>> inputs(jobs.size());
  AtOnce(jobs.size(), threads, [&](std::size_t i) {
    inputs[i] = FactsOf(jobs[i].input);
    const Job& job = jobs[i];
    const auto noOlder = [&](const std::optional<FileFacts>& than) {
      return than && than->written <= outputs[i]->written;
    };
    jobs[i].upToDate =
        line.update && outputs[i] && noOlder(inputs[i]) && (job.reference.empty() || noOlder(FactsOf(job.reference)));
  });
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    if (inputs[i] && written.contains(inputs[i]->identity))
      return DisplayName(jobs[i].input) + " is an input and would be replaced by an output";
  }
  return {};
}

}  // namespace

Plan PlanJobs(const CommandLine& line, unsigned threads) {
  Planner planner(line);
  for (const fs::path& name : line.inputs) planner.Name(name);
  Plan plan{std::move(planner).Jobs(), {}};
  RefuseSharedOutputs(plan.jobs);
  plan.mistake = LookAtFiles(plan.jobs, line, threads);
  return plan;
}

}  // namespace m32tga
