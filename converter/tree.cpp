#include "converter/tree.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

#include "system/files.h"

namespace converter {

void AtOnce(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& work) {
  std::atomic<std::size_t> next{0};
  const auto take = [&] {
    for (std::size_t i = next++; i < count; i = next++) work(i);
  };
  std::vector<std::jthread> helpers;
  helpers.reserve(threads);
  try {
    for (unsigned i = 1; i < threads && i < count; ++i) helpers.emplace_back(take);
  } catch (const std::system_error&) {
    // No more threads now: those started and this one do the work.
  }
  take();
}

sys::FileName LastPart(const Name& shown) {
  sys::FileName last = std::filesystem::path(shown).filename().native();
  return last.empty() ? sys::FileName(1, '.') : last;
}

namespace {

namespace fs = std::filesystem;
using IfMissing = sys::Folder::IfMissing;

// The folders at one depth of a walk stay open while those below them are visited, so
// that each is reached from its parent without opening those above again; up to this
// many, so that a wide tree holds few descriptors (the others are opened again).
constexpr std::size_t kMostFoldersHeld = 256;

// One folder of a walk, with its counterparts in the output and --like trees: its
// files' jobs, then its subfolders', in name order.
struct WalkedFolder {
  std::shared_ptr<sys::Folder> input;
  std::shared_ptr<sys::Folder> output;  // the input folder itself when the outputs go beside the inputs
  std::shared_ptr<sys::Folder> like;
  std::vector<Job> jobs;
  std::vector<std::size_t> subfolders;  // where they are among all folders walked
  std::vector<sys::HeldFolder> held;
};

sys::FileName Stem(const sys::FileName& name) { return fs::path(name).stem().native(); }

// A name with the extension of `from` (any case) ending in that of `to` instead.
sys::FileName Renamed(const sys::FileName& name, Format from, Format to) {
  sys::FileName renamed = name.substr(0, name.size() - NameOf(from).extension.size());
  const std::string_view extension = NameOf(to).extension;
  renamed.append(extension.begin(), extension.end());
  return renamed;
}

// The textures of a --like folder (m32, m8, WAL, any case of the extension), by their
// names without it as the file system compares names, one for each name, so that a
// mixed tree comes back to its own formats. None when the folder is not there, and a
// reason when it cannot be read.
struct Reference {
  sys::FileName name;
  Format format;
};
struct References {
  std::map<sys::FileName, Reference> byStem;
  std::string error;
};

References ReferencesIn(sys::Folder& like, Format preferred) {
  const sys::OpenedFolder opened = like.Open(IfMissing::kFail);
  if (opened.missing) return {};
  if (!opened.held)
    return {{}, "--like " + sys::DisplayName(opened.failed) + ": cannot open the folder: " + opened.error};
  sys::FolderListing listing = sys::ListFolder(*opened.held);
  if (!listing.error.empty())
    return {{}, "--like " + sys::DisplayName(like.Path()) + ": cannot list the folder: " + listing.error};
  // Of several of one name, the preferred format's, else m32, m8, WAL in that order,
  // whatever order the folder lists them in.
  const auto rank = [&](Format format) { return format == preferred ? -1 : static_cast<int>(format); };
  References references;
  for (sys::FolderEntry& entry : listing.entries) {
    const sys::FileName known = sys::KnownName(entry.name);
    const std::optional<Format> format = NamedFormat(known);
    if (!format || !IsTexture(*format)) continue;
    const auto [at, added] =
        references.byStem.try_emplace(sys::ComparedName(Stem(known)), Reference{entry.name, *format});
    if (!added && rank(*format) < rank(at->second.format)) at->second = {std::move(entry.name), *format};
  }
  return references;
}

// Whether the output is no older than `than`; by a margin of the output's time step, so
// that where it has steps of 2 seconds an output written a moment after its input does
// not seem older.
bool NoOlder(const sys::FileFacts& output, const std::optional<sys::FileFacts>& than) {
  return than && than->written <= output.written + std::max<std::int64_t>(output.step - 1, 0);
}

// What a job keeps of the facts of its files: their identities and, with -u, whether its
// output is up to date, also against a --like file.
void Settle(Job& job, const std::optional<sys::FileFacts>& input, const std::optional<sys::FileFacts>& output,
            const std::optional<sys::FileFacts>& reference, const CommandLine& line,
            const std::optional<sys::FileFacts>& likeFile) {
  if (input) job.inputIdentity = input->identity;
  if (output) job.outputIdentity = output->identity;
  job.upToDate = line.update && output && output->regular && NoOlder(*output, input) &&
                 (!job.referenceFolder || NoOlder(*output, reference)) &&
                 (!likeFile || !IsTexture(job.to) || NoOlder(*output, likeFile));
}

class Planner {
 public:
  Planner(const CommandLine& line, unsigned threads, const std::optional<sys::FileFacts>& likeFile)
      : line_(line), threads_(threads), likeFile_(likeFile) {
    if (line.like && sys::NamesFolder(*line.like)) likeTop_ = std::make_shared<sys::Folder>(*line.like);
    if (line.output && line.recursive) outputTop_ = std::make_shared<sys::Folder>(*line.output);
  }

  void Name(const fs::path& name) {
    if (line_.recursive && sys::NamesFolder(name)) return Walk(name);
    Add(name);
  }

  std::vector<Job> Jobs() && { return std::move(jobs_); }

 private:
  // Without --to: what -o names when it names a format other than m32; for an image, the
  // format of a --like texture; otherwise the input's other format.
  Format FormatFor(const fs::path& input) const {
    const auto named = line_.output ? NamedFormat(*line_.output) : std::nullopt;
    if (named && *named != Format::kM32 && !line_.recursive) return *named;
    const Format from = FormatOf(input);
    if (line_.like && !likeTop_ && !IsTexture(from)) return ReferenceFormat(*line_.like);
    return OtherFormat(from);
  }

  // Folder by folder, those at the same depth at once, each file looked at where it is
  // listed: its identity and time from the open folder.
  void Walk(const fs::path& top) {
    std::vector<WalkedFolder> folders(1);
    folders[0].input = std::make_shared<sys::Folder>(top);
    folders[0].output = outputTop_ ? outputTop_ : folders[0].input;
    folders[0].like = likeTop_;
    for (std::size_t above = 0, begin = 0, end = 1; begin < end; above = begin, begin = end, end = folders.size()) {
      std::vector<std::vector<WalkedFolder>> found(end - begin);
      AtOnce(end - begin, threads_, [&](std::size_t i) { found[i] = Visit(folders[begin + i]); });
      for (std::size_t i = above; i < begin; ++i) folders[i].held.clear();
      for (std::size_t i = 0; i < found.size(); ++i) {
        if (found.size() > kMostFoldersHeld) folders[begin + i].held.clear();
        for (WalkedFolder& subfolder : found[i]) {
          folders[begin + i].subfolders.push_back(folders.size());
          folders.push_back(std::move(subfolder));
        }
      }
    }
    std::size_t files = jobs_.size();
    for (const WalkedFolder& folder : folders) files += folder.jobs.size();
    jobs_.reserve(files);
    for (std::vector<std::size_t> next{0}; !next.empty();) {  // depth first, each folder before its subfolders
      WalkedFolder& folder = folders[next.back()];
      next.pop_back();
      std::move(folder.jobs.begin(), folder.jobs.end(), std::back_inserter(jobs_));
      next.insert(next.end(), folder.subfolders.rbegin(), folder.subfolders.rend());
    }
  }

  // The folder's files become jobs; its subfolders are returned.
  std::vector<WalkedFolder> Visit(WalkedFolder& folder) const {
    const sys::OpenedFolder in = folder.input->Open(IfMissing::kFail);
    sys::FolderListing listing = in.held ? sys::ListFolder(*in.held) : sys::FolderListing{{}, in.error};
    if (!listing.error.empty()) {
      Job& unlisted = folder.jobs.emplace_back();
      unlisted.inputFolder = folder.input;
      unlisted.input = folder.input->Path().native();
      unlisted.refused = "cannot list the folder: " + listing.error;
      return {};
    }
    std::sort(listing.entries.begin(), listing.entries.end(), [](auto& a, auto& b) { return a.name < b.name; });
    const Format to = line_.to.value_or(Format::kTga);
    std::vector<WalkedFolder> subfolders;
    std::vector<converter::Name> inputs, outputs;
    for (sys::FolderEntry& entry : listing.entries) {
      if (entry.folder) {
        WalkedFolder& subfolder = subfolders.emplace_back();
        subfolder.input = std::make_shared<sys::Folder>(folder.input, entry.name);
        subfolder.output =
            folder.output == folder.input ? subfolder.input : std::make_shared<sys::Folder>(folder.output, entry.name);
        if (folder.like) subfolder.like = std::make_shared<sys::Folder>(folder.like, entry.name);
      } else if (const auto from = NamedFormat(sys::KnownName(entry.name)); from && IsTexture(to) != IsTexture(*from)) {
        // A walk to a texture takes the TGA and PNG files, any other the textures.
        outputs.push_back(Renamed(sys::KnownName(entry.name), *from, to));
        inputs.push_back(std::move(entry.name));
      }
    }
    AddJobs(folder, in, inputs, outputs);
    return subfolders;
  }

  // The jobs of a folder's files, each given its --like m32, whose name its output takes.
  void AddJobs(WalkedFolder& folder, const sys::OpenedFolder& in, std::span<const converter::Name> inputs,
               std::vector<converter::Name>& outputs) const {
    const Format to = line_.to.value_or(Format::kTga);
    const References references =
        folder.like && IsTexture(to) && !inputs.empty() ? ReferencesIn(*folder.like, to) : References{};
    std::vector<converter::Name> found;
    folder.jobs.reserve(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      Job& job = folder.jobs.emplace_back();
      job.refused = references.error;
      job.to = to;
      if (const auto reference = references.byStem.find(sys::ComparedName(Stem(outputs[i])));
          reference != references.byStem.end()) {
        outputs[i] = reference->second.name;  // updating in place keeps the texture's own name and format
        job.to = reference->second.format;
        job.referenceFolder = folder.like;
        job.reference = (folder.like->Path() / reference->second.name).native();
        found.push_back(reference->second.name);
      }
      job.defaultFields = folder.like && IsTexture(to) && !job.referenceFolder;
      job.inputFolder = folder.input;
      job.input = (folder.input->Path() / inputs[i]).native();
      job.outputFolder = folder.output;
      job.output = (folder.output->Path() / outputs[i]).native();
      job.makeFolder = outputTop_ != nullptr;
      job.looked = true;
    }
    LookInFolder(folder, in, inputs, outputs, found);
  }

  // The facts of the folder's files, each from its open folder; the folders stay open
  // for the subfolders' visits.
  void LookInFolder(WalkedFolder& folder, const sys::OpenedFolder& in, std::span<const converter::Name> inputs,
                    std::span<const converter::Name> outputs, std::span<const converter::Name> references) const {
    const sys::OpenedFolder out = folder.output == folder.input ? in : folder.output->Open(IfMissing::kLeave);
    const auto inputFacts = sys::FactsIn(*in.held, inputs);
    const auto outputFacts = out.held ? sys::FactsIn(*out.held, outputs) : decltype(inputFacts)(outputs.size());
    std::vector<std::optional<sys::FileFacts>> referenceFacts;
    if (!references.empty() && line_.update) {
      const sys::OpenedFolder like = folder.like->Open(IfMissing::kFail);
      if (like.held) referenceFacts = sys::FactsIn(*like.held, references);
    }
    for (std::size_t i = 0, r = 0; i < folder.jobs.size(); ++i) {
      Job& job = folder.jobs[i];
      const bool referred = job.referenceFolder && r < referenceFacts.size();
      Settle(job, inputFacts[i], outputFacts[i], referred ? referenceFacts[r++] : std::nullopt, line_, likeFile_);
    }
    folder.held = {in.held, out.held};
  }

  // A file named on the command line, found from its folder as the user named it.
  void Add(const fs::path& input) {
    Job job;
    job.inputFolder = NamedFolder(input.parent_path());
    job.input = input.native();
    job.to = line_.to.value_or(FormatFor(input));
    if (line_.standardOutput) {
      job.output = line_.output->native();
    } else if (!line_.output) {
      job.outputFolder = job.inputFolder;
      job.output = OutputFor(input, job.to).native();
    } else if (line_.recursive) {
      job.outputFolder = outputTop_;
      job.output = OutputFor(*line_.output / input.filename(), job.to).native();
      job.makeFolder = true;
    } else {
      job.outputFolder = NamedFolder(line_.output->parent_path());
      job.output = line_.output->native();
      job.refused = sys::OutputPathRefusal(*line_.output);
    }
    const Format from = FormatOf(input);
    const std::string_view toName = NameOf(job.to).name;
    if (from == job.to) job.refused = "read as " + std::string(toName) + ", the format it would be converted to";
    if (from != job.to && IsTexture(from) == IsTexture(job.to)) {
      job.refused = Named(from) +
                    (IsTexture(from) ? " converts only to tga or png" : " converts only to m32, m8 or wal") +
                    ", not to " + std::string(toName);
    }
    if (likeTop_ && IsTexture(job.to)) FindReference(job, input);
    jobs_.push_back(std::move(job));
  }

  // The texture of the same name in the --like folder, any case of its extension, whose
  // name and format the output takes; where -o names the output, only one of its format.
  void FindReference(Job& job, const fs::path& input) {
    auto known = likeReferences_.find(job.to);
    if (known == likeReferences_.end()) known = likeReferences_.emplace(job.to, ReferencesIn(*likeTop_, job.to)).first;
    const References& references = known->second;
    if (job.refused.empty()) job.refused = references.error;
    const auto found = references.byStem.find(sys::ComparedName(Stem(sys::KnownName(input.filename().native()))));
    const bool named = !job.outputFolder || (line_.output && !line_.recursive);
    job.defaultFields = found == references.byStem.end() || (named && found->second.format != job.to);
    if (job.defaultFields) return;
    job.referenceFolder = likeTop_;
    job.reference = (likeTop_->Path() / found->second.name).native();
    if (named) return;
    job.to = found->second.format;
    job.output = (fs::path(job.output).parent_path() / found->second.name).native();
  }

  // The folders of files named on the command line, one for each way it was written.
  std::shared_ptr<sys::Folder> NamedFolder(const fs::path& folder) {
    std::shared_ptr<sys::Folder>& known = namedFolders_[folder.native()];
    if (!known) known = std::make_shared<sys::Folder>(folder);
    return known;
  }

  const CommandLine& line_;
  unsigned threads_;
  const std::optional<sys::FileFacts>& likeFile_;
  std::shared_ptr<sys::Folder> likeTop_;
  std::shared_ptr<sys::Folder> outputTop_;
  std::map<Format, References> likeReferences_;  // of each output format
  std::map<sys::FileName, std::shared_ptr<sys::Folder>> namedFolders_;
  std::vector<Job> jobs_;
};

std::optional<sys::FileFacts> FactsOfFile(sys::Folder& folder, const Name& shown, IfMissing ifMissing) {
  const sys::OpenedFolder opened = folder.Open(ifMissing);
  const sys::FileName name = LastPart(shown);
  return opened.held ? sys::FactsIn(*opened.held, std::span(&name, 1)).front() : std::nullopt;
}

// The files named on the command line are looked at here, each from its folder; a walk
// has looked at its files already.
void LookAtFiles(std::vector<Job>& jobs, const CommandLine& line, unsigned threads,
                 const std::optional<sys::FileFacts>& likeFile) {
  AtOnce(jobs.size(), threads, [&](std::size_t i) {
    Job& job = jobs[i];
    if (job.looked) return;
    const auto output = job.outputFolder ? FactsOfFile(*job.outputFolder, job.output, IfMissing::kLeave) : std::nullopt;
    const auto reference = job.referenceFolder && line.update
                               ? FactsOfFile(*job.referenceFolder, job.reference, IfMissing::kFail)
                               : std::nullopt;
    Settle(job, FactsOfFile(*job.inputFolder, job.input, IfMissing::kFail), output, reference, line, likeFile);
  });
}

// Outputs are told apart by their folder's identity and their name: a file named twice
// (src/a.m32 ./src/a.m32) is converted once, and the later of two files with one output
// (a.png sub/../a.tga) is refused.
void OneOutputEach(std::vector<Job>& jobs) {
  std::map<sys::Folder::Key, std::size_t> numbers;                 // each output folder, however it is named
  std::unordered_map<const sys::Folder*, sys::FileName> prefixes;  // its number, as the start of a name
  std::unordered_map<sys::FileName, std::optional<sys::FileIdentity>> inputOf;
  inputOf.reserve(jobs.size());
  std::vector<bool> again(jobs.size());
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    Job& job = jobs[i];
    if (!job.outputFolder) continue;
    sys::FileName& prefix = prefixes[job.outputFolder.get()];
    if (prefix.empty()) {
      const std::size_t number = numbers.try_emplace(job.outputFolder->Identify(), numbers.size()).first->second;
      prefix = fs::path(std::to_string(number)).native() + fs::path::preferred_separator;
    }
    const std::optional<sys::FileIdentity>& input = job.inputIdentity;
    const auto [first, fresh] = inputOf.try_emplace(prefix + sys::ComparedName(LastPart(job.output)), input);
    again[i] = !fresh && input && first->second == input;
    if (!fresh && !again[i] && job.refused.empty())
      job.refused = "its output " + sys::DisplayName(job.output) + " is also that of an earlier file";
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    if (!again[i] && kept++ != i) jobs[kept - 1] = std::move(jobs[i]);
  }
  jobs.erase(jobs.begin() + static_cast<std::ptrdiff_t>(kept), jobs.end());
}

// No output may be an input, under any name.
std::string OutputOverAnInput(const std::vector<Job>& jobs) {
  std::vector<sys::FileIdentity> written;
  for (const Job& job : jobs) {
    if (job.outputIdentity) written.push_back(*job.outputIdentity);
  }
  if (written.empty()) return {};
  std::sort(written.begin(), written.end());
  for (const Job& job : jobs) {
    if (job.inputIdentity && std::binary_search(written.begin(), written.end(), *job.inputIdentity))
      return sys::DisplayName(job.input) + " is an input and would be replaced by an output";
  }
  return {};
}

}  // namespace

Plan PlanJobs(const CommandLine& line, unsigned threads, const std::optional<sys::FileFacts>& likeFile) {
  Planner planner(line, threads, likeFile);
  for (const fs::path& name : line.inputs) planner.Name(name);
  Plan plan{std::move(planner).Jobs(), {}};
  LookAtFiles(plan.jobs, line, threads, likeFile);
  OneOutputEach(plan.jobs);
  plan.mistake = OutputOverAnInput(plan.jobs);
  return plan;
}

}  // namespace converter
