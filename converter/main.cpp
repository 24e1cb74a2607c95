// Pellicar.exe: converts m32 textures to TGA files beside them, and TGA files back to m32.
#include <algorithm>
#include <exception>
#include <filesystem>
#include <new>
#include <span>
#include <string>
#include <thread>
#include <vector>
#ifdef __GLIBC__  // known once a standard header is in
#include <malloc.h>
#endif

#include "converter/command_line.h"
#include "converter/convert.h"
#include "converter/jobs.h"
#include "converter/tree.h"
#include "converter_version.h"
#include "system/console.h"
#include "system/files.h"

namespace {

using sys::kAllDone, sys::kSomeFailed, sys::kWrongCommandLine;

int CannotPrint(const std::string& reason) {
  sys::PrintError(PELLICAR_CONVERTER ": cannot write to standard output: " + reason + "\n");
  return sys::kSomeFailed;
}

int Printed(const char* text) {
  const std::string failure = sys::PrintOutput(text);
  return failure.empty() ? sys::kAllDone : CannotPrint(failure);
}

// Each conversion takes blocks of a few hundred KiB and gives them back. glibc would hand
// them to the system and, for the next file, fault them in again a page at a time, which
// on a virtual machine costs more than converting a small texture (1,000 textures of
// 256 x 256: 2.2 s against 0.3 s). Kept, they cost no more at the peak.
void KeepFreedMemory() {
#ifdef __GLIBC__
  constexpr int kLargestMappedBlock = 64 << 20;
  constexpr int kFreeTopKept = 256 << 20;
  mallopt(M_MMAP_THRESHOLD, kLargestMappedBlock);
  mallopt(M_TRIM_THRESHOLD, kFreeTopKept);
#endif
}

// A file the whole run depends on (--like, --palette) that cannot be used.
int Failed(const std::filesystem::path& file, const std::string& reason) {
  sys::PrintError(sys::DisplayName(file) + ": " + reason + "\n");
  return sys::kSomeFailed;
}

int Run(std::span<const std::filesystem::path> arguments) {
  using namespace converter;
  KeepFreedMemory();
  sys::PrepareProcess();
  const CommandLine line = ParseCommandLine(arguments);
  switch (line.action) {
    case Action::kHelp: return Printed(kUsage);
    case Action::kVersion: return Printed(kVersionText);
    case Action::kUsageError:
      sys::PrintError(PELLICAR_CONVERTER ": " + line.error + "\nTry '" PELLICAR_CONVERTER " --help'.\n");
      return sys::kWrongCommandLine;
    case Action::kConvert: break;
  }
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned threads = line.jobs != 0 ? line.jobs : std::min(cores, kMostJobs);
  const bool likeFile = line.like && !sys::NamesFolder(*line.like);
  const Plan plan = PlanJobs(line, threads, likeFile ? sys::FactsOf(*line.like) : std::nullopt);
  if (!plan.mistake.empty()) {
    sys::PrintError(PELLICAR_CONVERTER ": " + plan.mistake + "\nTry '" PELLICAR_CONVERTER " --help'.\n");
    return sys::kWrongCommandLine;
  }
  // Checked once before anything is written; each conversion reads it again for itself.
  if (likeFile) {
    const Reference like(*line.like, ReferenceFormat(*line.like));
    if (!like.Error().empty()) return Failed(*line.like, like.Error());
  }
  const formats::PaletteResult palette = line.palette ? ReadPaletteFile(*line.palette) : formats::PaletteResult{};
  if (!palette.Ok()) return Failed(*line.palette, palette.error);
  for (const std::string& failure : line.unmatched) sys::PrintError(failure + "\n");
  const RunOptions options{.settings = {.depth = line.depth,
                                        .mips = line.mips,
                                        .dither = line.dither,
                                        .palette = line.palette ? &palette.palette : nullptr},
                           .like = likeFile ? line.like : std::nullopt,
                           .update = line.update,
                           .dryRun = line.dryRun,
                           .threads = threads};
  Tally tally = RunJobs(plan.jobs, options);
  tally.failed += line.unmatched.size();
  if (tally.outputError.empty() && plan.jobs.size() + line.unmatched.size() > 1)
    tally.outputError = sys::PrintOutput(Summary(tally, options));
  if (!tally.outputError.empty()) return CannotPrint(tally.outputError);
  return tally.failed == 0 ? sys::kAllDone : sys::kSomeFailed;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
  int status = sys::kSomeFailed;
  const std::string error = converter::Guarded([&] {
    const std::vector<std::filesystem::path> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    status = Run(arguments);
    return std::string();
  });
  if (!error.empty()) sys::PrintError(PELLICAR_CONVERTER ": " + error + "\n");
  return error.empty() ? status : sys::kSomeFailed;
}
