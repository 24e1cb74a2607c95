#pragma once
// A window opened in a fresh folder, with the fake converter logging to that folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "runtime/strings.h"
#include "support.h"
#include "ui/frmPellicar.h"
#include "window_support.h"

// The lines a list shows, as its list() names them.
template <class List>
std::vector<std::u16string> Lines(const List& list) {
  std::vector<std::u16string> lines;
  for (int i = 0; i < list.listCount(); ++i) lines.push_back(list.list(i));
  return lines;
}

class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    startDirectory_ = std::filesystem::current_path();
    std::filesystem::create_directory(folder_ / "work");
    std::filesystem::current_path(testing_support::FsPath(work()));
  }

  void TearDown() override {
    window_.reset();
    runtime::StartListsIn(u"");
    std::filesystem::current_path(startDirectory_);
  }

  // The folder the window starts in, the process's current directory, or `name` in it
  // ('/' in it stands for the platform's separator).
  std::string work(const std::string& name = "") const { return folder_ / (name.empty() ? "work" : "work/" + name); }

  frmPellicar& openWindow() {
    window_ = std::make_unique<frmPellicar>();
    return *window_;
  }

  void select(std::initializer_list<int> rows) {
    for (int row : rows) window_->File1.setSelected(row, true);
  }

  void selectAll() {
    for (int row = 0; row < window_->File1.listCount(); ++row) window_->File1.setSelected(row, true);
  }

  std::vector<testing_support::ConverterRun> runs() const {
    return testing_support::ReadRuns(folder_ / "converter.log");
  }
  // The file each run of the converter was given, in the order they ran.
  std::vector<std::string> converted() const {
    std::vector<std::string> files;
    for (const auto& run : runs()) files.push_back(run.arguments.empty() ? "<none>" : run.arguments.front());
    return files;
  }

  testing_support::TempDir folder_;
  testing_support::ScopedEnv logEnv_{"PELLICAR_TEST_LOG", folder_ / "converter.log"};
  std::filesystem::path startDirectory_;  // the process's current directory before the test

 private:
  std::unique_ptr<frmPellicar> window_;
};
