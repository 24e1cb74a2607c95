#include "tree.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <map>
#include <set>
#include <system_error>

#include "file_io.h"

namespace m32tga {
namespace {

namespace fs = std::filesystem;

enum class Kind { kLeftOut, kFolder, kFile };

// Hidden files and folders are left out, and links to folders are not followed, so that
// a walk ends; a link to a file is converted as that file.
Kind KindOf(const fs::directory_entry& entry) {
  std::error_code error;
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesW(entry.path().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Kind::kFile;  // its conversion says why
  if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) return Kind::kLeftOut;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Kind::kFile;
  return attributes & FILE_ATTRIBUTE_REPARSE_POINT ? Kind::kLeftOut : Kind::kFolder;
#else
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
    Add(name, name.filename(), line_.to.value_or(OtherFormat(FormatOf(name))));
  }

  std::vector<Job> Jobs() && { return std::move(jobs_); }

 private:
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
      unlisted.input = folder;
      unlisted.refused = "cannot list the folder: " + error.message();
      jobs_.push_back(std::move(unlisted));
      return;
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::directory_entry& entry : entries) {
      const fs::path name = entry.path().filename();
      const bool wanted = HasFormatExtension(name, OtherFormat(to));
      if (!wanted && !entry.is_directory(error)) continue;
      const Kind kind = KindOf(entry);
      if (kind == Kind::kFolder) Walk(entry.path(), relative / name);
      if (kind == Kind::kFile && wanted) Add(entry.path(), relative / name, to);
    }
  }

  void Add(const fs::path& input, const fs::path& relative, Format to) {
    Job job;
    job.input = input;
    job.to = to;
    if (!line_.output) {
      job.output = OutputFor(input, to);
    } else if (line_.recursive) {
      job.output = OutputFor(*line_.output / relative, to);
      job.makeFolder = true;
    } else {
      job.output = *line_.output;
    }
    if (FormatOf(input) == to) job.refused = "read as " + std::string(NameOf(to).name) + ", the format --to asks for";
    if (likeFolder_ && to == Format::kM32) {
      job.reference = Reference(relative);
      job.defaultFields = job.reference.empty();
    }
    if (!outputs_.insert(job.output).second && job.refused.empty())
      job.refused = "its output " + DisplayName(job.output) + " is also that of an earlier file";
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
  std::set<fs::path> outputs_;
  std::map<fs::path, std::map<fs::path, fs::path>> m32sIn_;  // by folder, by name without extension
};

// Each name's identity is looked up once: a set of the outputs that exist, then each
// input in it.
std::string OutputOverAnInput(const std::vector<Job>& jobs) {
  std::set<FileIdentity> outputs;
  for (const Job& job : jobs) {
    if (const auto identity = IdentityOf(job.output)) outputs.insert(*identity);
  }
  if (outputs.empty()) return {};
  for (const Job& job : jobs) {
    const auto identity = IdentityOf(job.input);
    if (identity && outputs.contains(*identity)) {
      return DisplayName(job.input) + " is an input and would be replaced by an output";
    }
  }
  return {};
}

}  // namespace

Plan PlanJobs(const CommandLine& line) {
  Planner planner(line);
  for (const fs::path& name : line.inputs) planner.Name(name);
  Plan plan{std::move(planner).Jobs(), {}};
  plan.mistake = OutputOverAnInput(plan.jobs);
  return plan;
}

}  // namespace m32tga
