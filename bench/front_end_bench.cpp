// Front-end benchmarks, each a ratio against a bare baseline measured in the same run:
//   file list: filling File1 from a folder of 100,000 entries, against a bare read,
//              filter and sort of that folder (bar: 2.0);
//   batch:     converting 1,000 selected files with a converter that does nothing,
//              against starting and waiting for the same program 1,000 times (bar: 1.25).
#include <dirent.h>
#include <fnmatch.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "runtime/busy.h"
#include "runtime/form.h"
#include "runtime/strings.h"
#include "ui/frmPellicar.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kFolderEntries = 100'000;
constexpr int kBatchFiles = 1'000;
constexpr int kRounds = 5;
constexpr double kFileListBar = 2.0;
constexpr double kBatchBar = 1.25;

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Alternates the two so that both see the same machine; returns their medians.
std::pair<double, double> Compare(const std::function<void()>& baseline, const std::function<void()>& ours) {
  std::vector<double> base, mine;
  baseline(), ours();  // warm up
  for (int round = 0; round < kRounds; ++round) {
    base.push_back(Seconds(baseline));
    mine.push_back(Seconds(ours));
  }
  return {Median(base), Median(mine)};
}

void MakeFolder(const fs::path& folder, int entries, int everyNthIsM32) {
  fs::create_directories(folder);
  for (int i = 0; i < entries; ++i) {
    const auto name = "texture" + std::to_string(i) + (i % everyNthIsM32 == 0 ? ".m32" : ".tga");
    std::ofstream(folder / name);
  }
}

std::vector<std::string> BareReadFilterSort(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  while (const dirent* entry = readdir(dir)) {
    if (fnmatch("*.m32", entry->d_name, FNM_CASEFOLD | FNM_PERIOD) == 0) names.emplace_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

void BareStartAndWait(const std::string& program, const std::string& argument) {
  char* argv[] = {const_cast<char*>("Pellicar.exe"), const_cast<char*>(argument.c_str()), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) == 0) waitpid(pid, nullptr, 0);
}

bool Report(const char* what, std::pair<double, double> times, double bar) {
  const double ratio = times.second / times.first;
  std::printf("%-10s baseline %8.2f ms  ours %8.2f ms  ratio %.2f (bar %.2f) %s\n", what, times.first * 1e3,
              times.second * 1e3, ratio, bar, ratio <= bar ? "ok" : "OVER");
  return ratio <= bar;
}

}  // namespace

int main(int argc, char* argv[]) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);  // the Qt backend, when no display is chosen
  runtime::Application app(argc, argv);
  const fs::path work = fs::temp_directory_path() / "pellicar-bench";
  fs::remove_all(work);

  const auto bigFolder = (work / "big").native();
  MakeFolder(bigFolder, kFolderEntries, 2);
  frmPellicar window;
  window.show();
  const bool listOk = Report("file list",
                             Compare([&] { BareReadFilterSort(bigFolder); },
                                     [&] {
                                       window.File1.setPath(runtime::FromUtf8(bigFolder));
                                       runtime::DoEvents();
                                     }),
                             kFileListBar);

  const auto batchFolder = (work / "batch").native();
  MakeFolder(batchFolder, kBatchFiles, 1);
  window.File1.setPath(runtime::FromUtf8(batchFolder));
  for (int i = 0; i < window.File1.listCount(); ++i) window.File1.setSelected(i, true);
  const auto converter = (fs::read_symlink("/proc/self/exe").parent_path() / "Pellicar.exe").native();
  const auto names = BareReadFilterSort(batchFolder);
  const bool batchOk = Report("batch",
                              Compare(
                                  [&] {
                                    for (const auto& name : names)
                                      BareStartAndWait(converter, batchFolder + "/" + name);
                                  },
                                  [&] { window.Command1_Click(); }),
                              kBatchBar);
  fs::remove_all(work);
  return listOk && batchOk ? 0 : 1;
}
