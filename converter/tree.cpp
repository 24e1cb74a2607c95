#include "tree.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <numeric>
#include <optional>
#include <system_error>
#include <thread>

#include "file_io.h"

namespace m32tga {
namespace {

namespace fs = std::filesystem;

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

// `folder`'s entry `name`, by a name as the user gave the folder.
Name Within(const Name& folder, const Name& name) {
  if (folder.empty()) return name;
  const auto last = folder.back();
  const bool separated = last == '/' || last == fs::path::preferred_separator;
  return separated ? folder + name : folder + Name(1, fs::path::preferred_separator) + name;
}

// One folder of a walk: its files' jobs, then its subfolders', in name order.
struct WalkedFolder {
  Name input;
  Name output;    // the folder of its outputs
  Name relative;  // below the folder named on the command line
  std::vector<Job> jobs;
  std::vector<std::size_t> subfolders;  // where they are among all folders walked
};

class Planner {
 public:
  Planner(const CommandLine& line, unsigned threads) : line_(line), threads_(threads) {
    likeFolder_ = line.like && NamesFolder(*line.like);
  }

  void Name(const fs::path& name) {
    if (line_.recursive && NamesFolder(name)) return Walk(name);
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

  // Folder by folder, those at the same depth at once, each file looked at where it is
  // listed: its identity and time from the open folder, not by whole name.
  void Walk(const fs::path& top) {
    std::vector<WalkedFolder> folders(1);
    folders[0].input = top.native();
    folders[0].output = line_.output ? line_.output->native() : top.native();
    for (std::size_t begin = 0, end = 1; begin < end; begin = end, end = folders.size()) {
      std::vector<std::vector<WalkedFolder>> found(end - begin);
      AtOnce(end - begin, threads_, [&](std::size_t i) { found[i] = Visit(folders[begin + i]); });
      for (std::size_t i = 0; i < found.size(); ++i) {
        for (WalkedFolder& subfolder : found[i]) {
          folders[begin + i].subfolders.push_back(folders.size());
          folders.push_back(std::move(subfolder));
        }
      }
    }
    std::size_t files = jobs_.size();
    for (const WalkedFolder& folder : folders) files += folder.jobs.size();
    jobs_.reserve(files);
    Gather(folders, 0);
  }

  // The folder's files become jobs; its subfolders are returned.
  std::vector<WalkedFolder> Visit(WalkedFolder& folder) const {
    FolderListing listing = ListFolder(folder.input);
    if (!listing.error.empty()) {
      Job& unlisted = folder.jobs.emplace_back();
      unlisted.input = folder.input;
      unlisted.refused = "cannot list the folder: " + listing.error;
      return {};
    }
    std::sort(listing.entries.begin(), listing.entries.end(), [](auto& a, auto& b) { return a.name < b.name; });
    const Format to = line_.to.value_or(Format::kTga);
    std::vector<WalkedFolder> subfolders;
    std::vector<m32tga::Name> inputs, outputs;
    for (FolderEntry& entry : listing.entries) {
      if (entry.folder) {
        subfolders.push_back({Within(folder.input, entry.name),
                              Within(folder.output, entry.name),
                              Within(folder.relative, entry.name),
                              {},
                              {}});
      } else if (const auto from = NamedFormat(entry.name); from && (to == Format::kM32) != (*from == Format::kM32)) {
        // A walk to m32 takes the TGA and PNG files, any other the m32 files.
        const std::string_view extension = NameOf(to).extension;
        outputs.push_back(entry.name.substr(0, entry.name.size() - NameOf(*from).extension.size()));
        outputs.back().append(extension.begin(), extension.end());
        inputs.push_back(std::move(entry.name));
      }
    }
    const auto inputFacts = FactsIn(folder.input, inputs);
    const auto outputFacts = FactsIn(folder.output, outputs);
    folder.jobs.reserve(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      Job& job = folder.jobs.emplace_back();
      job.input = Within(folder.input, inputs[i]);
      job.output = Within(folder.output, outputs[i]);
      job.to = to;
      job.makeFolder = line_.output.has_value();
      job.looked = true;
      job.inputFacts = inputFacts[i];
      job.outputFacts = outputFacts[i];
    }
    return subfolders;
  }

  // The walk's jobs in order, each given its --like m32.
  void Gather(std::vector<WalkedFolder>& folders, std::size_t at) {
    for (Job& job : folders[at].jobs) {
      if (likeFolder_ && job.to == Format::kM32 && job.refused.empty()) {
        job.reference = Reference(fs::path(folders[at].relative) / fs::path(job.input).filename()).native();
        job.defaultFields = job.reference.empty();
      }
      jobs_.push_back(std::move(job));
    }
    for (const std::size_t subfolder : folders[at].subfolders) Gather(folders, subfolder);
  }

  void Add(const fs::path& input, const fs::path& relative, Format to) {
    Job job;
    job.input = input.native();
    job.to = to;
    if (!line_.output || line_.recursive) {
      job.output = OutputFor(line_.output ? *line_.output / relative : input, to).native();
      job.makeFolder = line_.output.has_value();
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
  unsigned threads_;
  bool likeFolder_ = false;
  std::vector<Job> jobs_;
  std::map<fs::path, std::map<fs::path, fs::path>> m32sIn_;  // by folder, by name without extension
};

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
// identities are looked up among the outputs'; with -u, the times are compared. A walk
// has looked at its files already.
std::string LookAtFiles(std::vector<Job>& jobs, const CommandLine& line, unsigned threads) {
  AtOnce(jobs.size(), threads, [&](std::size_t i) {
    if (!jobs[i].looked) jobs[i].outputFacts = FactsOf(jobs[i].output);
  });
  std::vector<FileIdentity> written;
  for (const Job& job : jobs) {
    if (job.outputFacts) written.push_back(job.outputFacts->identity);
  }
  if (written.empty()) return {};
  std::sort(written.begin(), written.end());
  AtOnce(jobs.size(), threads, [&](std::size_t i) {
    Job& job = jobs[i];
    if (!job.looked) job.inputFacts = FactsOf(job.input);
    const auto noOlder = [&](const std::optional<FileFacts>& than) {
      return than && than->written <= job.outputFacts->written;
    };
    job.upToDate = line.update && job.outputFacts && noOlder(job.inputFacts) &&
                   (job.reference.empty() || noOlder(FactsOf(job.reference)));
  });
  for (const Job& job : jobs) {
    if (job.inputFacts && std::binary_search(written.begin(), written.end(), job.inputFacts->identity))
      return DisplayName(job.input) + " is an input and would be replaced by an output";
  }
  return {};
}

}  // namespace

Plan PlanJobs(const CommandLine& line, unsigned threads) {
  Planner planner(line, threads);
  for (const fs::path& name : line.inputs) planner.Name(name);
  Plan plan{std::move(planner).Jobs(), {}};
  RefuseSharedOutputs(plan.jobs);
  plan.mistake = LookAtFiles(plan.jobs, line, threads);
  return plan;
}

}  // namespace m32tga
