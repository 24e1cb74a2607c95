// Converting a selection: which files reach the converter, in what order, with what
// argument, and how the window behaves while the converter runs.
#include <unistd.h>

#include "support/window_fixture.h"

using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::vector<std::string> FirstArguments(const std::vector<testing_support::ConverterRun>& runs) {
  std::vector<std::string> arguments;
  for (const auto& run : runs) arguments.push_back(run.arguments.empty() ? "<none>" : run.arguments.front());
  return arguments;
}

TEST_F(WindowTest, SelectedFilesRunOneAfterAnotherInListOrder) {
  for (const char* name : {"a.m32", "b.m32", "c.m32", "d.m32", "e.m32"}) WriteFile(work(name));
  ScopedEnv slow("PELLICAR_TEST_SLEEP_MS", "150");
  auto& window = openWindow();
  select({3, 0, 2});
  window.Command1_Click();

  const auto done = runs();
  ASSERT_EQ(done.size(), 3u);
  EXPECT_EQ(FirstArguments(done), (std::vector<std::string>{work("a.m32"), work("c.m32"), work("d.m32")}));
  for (std::size_t i = 0; i < done.size(); ++i) {
    EXPECT_EQ(done[i].arguments.size(), 1u);
    EXPECT_EQ(done[i].workingDirectory, work());  // where the program was started
    if (i > 0) {
      EXPECT_GE(done[i].startNs, done[i - 1].endNs) << "run " << i << " overlapped the one before";
    }
  }
  for (int row : {0, 2, 3}) EXPECT_TRUE(window.File1.selected(row));  // the selection stays
  EXPECT_FALSE(window.File1.selected(1));
}

TEST_F(WindowTest, NothingSelectedRunsNothing) {
  WriteFile(work("a.m32"));
  openWindow().Command1_Click();
  EXPECT_TRUE(runs().empty());
}

TEST_F(WindowTest, AwkwardNamesReachTheConverterAsExactlyThatFile) {
#ifdef _WIN32
  const std::vector<std::string> names = {"rock wall.m32", "it's (q).m32", "a;b.m32",         "$(touch pwned).m32",
                                          "-rf.m32",       "%PATH%.m32",   "caf\xc3\xa9.m32", "\xe6\x9c\xa8.m32"};
#else
  const std::vector<std::string> names = {"rock wall.m32", "it's \"q\".m32",  "a;b.m32",         "$(touch pwned).m32",
                                          "-rf.m32",       "line\nbreak.m32", "back\\slash.m32", "caf\xe9.m32"};
#endif
  for (const auto& name : names) WriteFile(work(name));
  auto& window = openWindow();
  ASSERT_EQ(window.File1.listCount(), static_cast<int>(names.size()));
  selectAll();
  window.Command1_Click();

  auto received = FirstArguments(runs());
  std::vector<std::string> expected;
  for (const auto& name : names) expected.push_back(work(name));
  std::sort(received.begin(), received.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(received, expected);
  for (const auto& run : runs()) EXPECT_EQ(run.arguments.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(work("pwned")));
}

TEST_F(WindowTest, AFileInTheRootIsPassedWithOneSeparator) {
  const std::string name = "pellicar-root-test-" + std::to_string(getpid()) + ".m32";
  const std::string root = testing_support::RootOf(work());
  WriteFile(root + name);
  if (!std::filesystem::exists(testing_support::FsPath(root + name))) GTEST_SKIP() << "the root is not writable here";
  auto& window = openWindow();
  window.File1.setPath(runtime::FromUtf8(root));
  for (int i = 0; i < window.File1.listCount(); ++i) {
    if (runtime::ToUtf8(window.File1.list(i)) == name) window.File1.setSelected(i, true);
  }
  window.Command1_Click();
  std::filesystem::remove(testing_support::FsPath(root + name));
  EXPECT_EQ(FirstArguments(runs()), std::vector<std::string>{root + name});
}

TEST_F(WindowTest, TheConverterBesideTheProgramIsFoundBeforeOneOnThePath) {
  TempDir onPath;
  const auto own = testing_support::OwnFolder();
  std::filesystem::copy_file(own / "Pellicar.exe", onPath / "Pellicar.exe");
  std::filesystem::copy_file(own / "Pellicar.exe", work("Pellicar.exe"));
  ScopedEnv path("PATH", onPath.path());
  WriteFile(work("a.m32"));
  auto& window = openWindow();
  select({0});
  window.Command1_Click();
  ASSERT_EQ(runs().size(), 1u);
  EXPECT_TRUE(std::filesystem::equivalent(testing_support::FsPath(runs()[0].executable), own / "Pellicar.exe"));
}

TEST_F(WindowTest, TheListIsReadOnceSoFilesMadeDuringTheBatchAreLeftAlone) {
  WriteFile(work("a.m32"));
  WriteFile(work("b.m32"));
  ScopedEnv create("PELLICAR_TEST_CREATE", work("aa-new.m32"));
  auto& window = openWindow();
  selectAll();
  window.Command1_Click();
  EXPECT_EQ(FirstArguments(runs()), (std::vector<std::string>{work("a.m32"), work("b.m32")}));
  EXPECT_EQ(window.File1.listCount(), 2);
}

TEST_F(WindowTest, AFileThatVanishedBeforeItsTurnIsSkippedAndTheRestConvert) {
  for (const char* name : {"a.m32", "b.m32", "c.m32"}) WriteFile(work(name));
  auto& window = openWindow();
  selectAll();
  std::filesystem::remove(work("b.m32"));
  window.Command1_Click();
  EXPECT_EQ(FirstArguments(runs()), (std::vector<std::string>{work("a.m32"), work("c.m32")}));
}

TEST_F(WindowTest, MoreThan32767FilesStillConvertWhatIsSelected) {
#ifdef _WIN32
  GTEST_SKIP() << "making 33,000 files under Wine takes minutes";
#endif
  constexpr int kCount = 33000;
  for (int i = 0; i < kCount; ++i) WriteFile(work(std::to_string(100000 + i)) + ".m32");
  auto& window = openWindow();
  ASSERT_EQ(window.File1.listCount(), kCount);
  select({kCount - 1});
  window.Command1_Click();
  EXPECT_EQ(FirstArguments(runs()), std::vector<std::string>{work(std::to_string(100000 + kCount - 1)) + ".m32"});
}

TEST_F(WindowTest, WhileConvertingTheWindowIsBusyAndDropsInput) {
  for (const char* name : {"a.m32", "b.m32"}) WriteFile(work(name));
  ScopedEnv slow("PELLICAR_TEST_SLEEP_MS", "300");
  auto& window = openWindow();
  ASSERT_TRUE(testing_support::ShowAndActivate(window));
  select({0});
  window.File1.setFocus();
  bool busyCursor = false;
  testing_support::After(100, [&] {
    busyCursor = testing_support::BusyCursorShown(window);
    testing_support::Click(window.Command1);                             // would start a second batch
    testing_support::PressKey(window, testing_support::Key::kShiftEnd);  // would select b.m32 as well
  });
  window.Command1_Click();
  testing_support::ProcessEvents(100);
  EXPECT_TRUE(busyCursor);
  EXPECT_EQ(runs().size(), 1u);
  EXPECT_FALSE(window.File1.selected(1));  // the key did not reach the list
  EXPECT_FALSE(testing_support::BusyCursorShown(window));
}

TEST_F(WindowTest, ClosingDuringABatchEndsItOnceTheRunningConverterHasEnded) {
  for (const char* name : {"a.m32", "b.m32", "c.m32"}) WriteFile(work(name));
  ScopedEnv slow("PELLICAR_TEST_SLEEP_MS", "300");
  auto& window = openWindow();
  ASSERT_TRUE(testing_support::ShowAndActivate(window));
  selectAll();
  bool stillShownAfterClose = false;
  testing_support::After(100, [&] {
    window.close();
    stillShownAfterClose = window.visible();
  });
  window.Command1_Click();
  EXPECT_TRUE(stillShownAfterClose);  // the running converter was waited for
  EXPECT_EQ(runs().size(), 1u);
  EXPECT_FALSE(window.visible());
}

}  // namespace
