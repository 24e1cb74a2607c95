// Front-end benchmarks, each a ratio against a bare baseline measured in the same run:
//   file list: filling File1 from a folder of 100,000 entries, against a bare read,
//              filter and sort of that folder (bar: 2.0);
//   batch:     converting 1,000 selected files with a converter that does nothing,
//              against starting and waiting for the same program 1,000 times (bar: 1.25).
// and, as plain times, during batches of quick and of slow conversions:
//   repaint:   the longest time the window goes without painting (bar: 50 ms);
//   close:     how long after a close request the batch ends (bar: 1 s).
#include <dirent.h>
#include <fnmatch.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QEvent>
#include <QTimer>
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
#include "runtime/qt/peer.h"
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
constexpr double kRepaintBarMs = 50;
constexpr double kCloseBarMs = 1000;
constexpr int kSlowFiles = 8;
constexpr int kSlowConversionMs = 150;

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

// Notes the time of every paint of the widget it watches.
class PaintClock : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) paints_.push_back(std::chrono::steady_clock::now());
    return false;
  }
  std::vector<std::chrono::steady_clock::time_point> paints_;
};

// The longest time the window goes without painting while `work` runs, the window asking
// to be painted again every few milliseconds.
double LongestPaintGapMs(frmPellicar& form, const std::function<void()>& work) {
  QWidget& window = form.peer();
  PaintClock clock;
  window.installEventFilter(&clock);
  QTimer ask;
  QObject::connect(&ask, &QTimer::timeout, &window, qOverload<>(&QWidget::update));
  ask.start(2);
  clock.paints_.push_back(std::chrono::steady_clock::now());
  work();
  clock.paints_.push_back(std::chrono::steady_clock::now());
  window.removeEventFilter(&clock);
  double longest = 0;
  for (std::size_t i = 1; i < clock.paints_.size(); ++i)
    longest =
        std::max(longest, std::chrono::duration<double, std::milli>(clock.paints_[i] - clock.paints_[i - 1]).count());
  return longest;
}

// How long after a close request, made `afterMs` into the batch, the batch ends.
double CloseToEndMs(frmPellicar& window, int afterMs) {
  std::chrono::steady_clock::time_point closed;
  QTimer::singleShot(afterMs, [&] {
    closed = std::chrono::steady_clock::now();
    window.close();
  });
  window.Command1_Click();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - closed).count();
}

void SelectAllIn(frmPellicar& window, const std::string& folder) {
  window.File1.setPath(runtime::FromUtf8(folder));
  for (int i = 0; i < window.File1.listCount(); ++i) window.File1.setSelected(i, true);
}

bool ReportMs(const char* what, const char* measure, double ms, double barMs) {
  std::printf("%-10s %-42s %8.2f ms (bar %.0f ms) %s\n", what, measure, ms, barMs, ms <= barMs ? "ok" : "OVER");
  return ms <= barMs;
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
  SelectAllIn(window, batchFolder);
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
  bool responsive = ReportMs("repaint", "longest gap, 1,000 quick conversions",
                             LongestPaintGapMs(window, [&] { window.Command1_Click(); }), kRepaintBarMs);

  const auto slowFolder = (work / "slow").native();
  MakeFolder(slowFolder, kSlowFiles, 1);
  SelectAllIn(window, slowFolder);
  setenv("PELLICAR_BENCH_SLEEP_MS", std::to_string(kSlowConversionMs).c_str(), 1);
  responsive &= ReportMs("repaint", "longest gap, conversions of 150 ms",
                         LongestPaintGapMs(window, [&] { window.Command1_Click(); }), kRepaintBarMs);
  unsetenv("PELLICAR_BENCH_SLEEP_MS");

  SelectAllIn(window, batchFolder);
  responsive &=
      ReportMs("close", "batch ended after a close, quick conversions", CloseToEndMs(window, 200), kCloseBarMs);
  fs::remove_all(work);
  return listOk && batchOk && responsive ? 0 : 1;
}
