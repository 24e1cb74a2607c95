// Converting a selection: which files reach the converter, in what order, with what
// argument, and how the window behaves while the converter runs.
#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

#include "support/window_fixture.h"

using testing_support::MessageBoxWatcher;
using testing_support::ScopedEnv;
using testing_support::WriteFile;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// Names that would break a command line reach the converter as that one file (the same
// for every name the system layer's tests give it). The title counts the files, and the
// list is read once: a file made during the batch is left alone.
TEST_F(WindowTest, SelectedFilesRunOneAfterAnotherInListOrderCountedInTheTitle) {
  for (const char* name : {"a b.m32", "b.m32", "c;$(touch pwned) & %PATH%.m32", "d 'q'.m32", "e.m32"})
    WriteFile(work(name));
  ScopedEnv slow("PELLICAR_TEST_SLEEP_MS", "150");
  auto& window = openWindow();
  select({3, 0, 2});
  std::vector<std::pair<std::string, std::size_t>> titles;  // each title, and the runs done when it came
  testing_support::WatchCaption(window, [&](const std::u16string& title) {
    titles.emplace_back(runtime::ToUtf8(title), runs().size());
    WriteFile(work("aa-new.m32"));
  });
  window.Command1_Click();

  const auto done = runs();
  EXPECT_EQ(converted(),
            (std::vector<std::string>{work("a b.m32"), work("c;$(touch pwned) & %PATH%.m32"), work("d 'q'.m32")}));
  EXPECT_FALSE(std::filesystem::exists(work("pwned")));
  for (std::size_t i = 0; i < done.size(); ++i) {
    EXPECT_EQ(done[i].arguments.size(), 1u);
    EXPECT_EQ(done[i].workingDirectory, work());  // where the program was started
    if (i > 0) {
      EXPECT_GE(done[i].startNs, done[i - 1].endNs) << "run " << i << " overlapped the one before";
    }
  }
  for (int row : {0, 2, 3}) EXPECT_TRUE(window.File1.selected(row));  // the selection stays
  EXPECT_FALSE(window.File1.selected(1));
  EXPECT_EQ(window.File1.listCount(), 5);
  const std::vector<std::pair<std::string, std::size_t>> expected = {{"Pellicar convertor - 1 of 3", 0},
                                                                     {"Pellicar convertor - 2 of 3", 1},
                                                                     {"Pellicar convertor - 3 of 3", 2},
                                                                     {"Pellicar convertor", 3}};
  EXPECT_EQ(titles, expected);
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
  EXPECT_EQ(converted(), std::vector<std::string>{work(std::to_string(100000 + kCount - 1)) + ".m32"});
}

// Even between quick runs: the window handles its events after every run.
TEST_F(WindowTest, WhileConvertingTheWindowIsBusyAndDropsInputButACloseEndsTheBatch) {
  constexpr int kFiles = 300;
  for (int i = 0; i < kFiles; ++i) WriteFile(work(std::to_string(1000 + i)) + ".m32");
  auto& window = openWindow();
  ASSERT_TRUE(testing_support::ShowAndActivate(window));
  for (int row = 0; row < kFiles - 1; ++row) select({row});
  window.File1.setFocus();
  bool busyCursor = false;
  std::size_t convertedWhenClosed = 0;
  testing_support::After(100, [&] {
    busyCursor = testing_support::BusyCursorShown();
    testing_support::Click(window.Command1);                     // would start a second batch
    testing_support::PressKey(testing_support::Key::kShiftEnd);  // would select the last file as well
    convertedWhenClosed = runs().size();
    window.close();
  });
  window.Command1_Click();
  const std::size_t converted = runs().size();
  testing_support::ProcessEvents(200);  // whatever is still queued is handled now

  EXPECT_TRUE(busyCursor);
  EXPECT_LT(converted, kFiles - 1u) << "the close did not end the batch";
  EXPECT_LE(converted, convertedWhenClosed + 1) << "the batch went on after the running conversion";
  EXPECT_EQ(runs().size(), converted) << "the click started another batch";
  EXPECT_FALSE(window.File1.selected(kFiles - 1));  // the key did not reach the list
  EXPECT_FALSE(testing_support::BusyCursorShown());
  EXPECT_FALSE(window.visible());
}

// How the system names the fake converter's crash.
#ifdef _WIN32
constexpr const char* kCrash = "access violation";
#else
constexpr const char* kCrash = "SIGSEGV";
#endif

TEST_F(WindowTest, OneWarningNamesEachFileThatWasNotConvertedAndWhy) {
  WriteFile(work("a-good.m32"));
  WriteFile(work("b-bad.m32"), "say " + work("b-bad.m32") + ": not an m32 texture\nsay more detail\nexit 1\n");
  WriteFile(work("c-crash.m32"), "crash\n");
  WriteFile(work("d-gone.m32"));
  WriteFile(work("e-quiet.m32"), "exit 3\n");
  WriteFile(work("f-warns.m32"), "say a warning, but converted\n");
  WriteFile(work("g-said-then-crashed.m32"), "say <b>half</b> way\ncrash\n");
  auto& window = openWindow();
  selectAll();
  std::filesystem::remove(work("d-gone.m32"));
  MessageBoxWatcher boxes(testing_support::Key::kEscape);
  window.Command1_Click();

  ASSERT_EQ(boxes.shown().size(), 1u);
  const auto& box = boxes.shown()[0];
  EXPECT_EQ(runtime::ToUtf8(box.title), "Pellicar convertor");
  EXPECT_TRUE(box.warningIcon);
  EXPECT_EQ(runtime::ToUtf8(box.text),
            "5 of 7 files were not converted:\n\n"
            "b-bad.m32: not an m32 texture\n"
            "c-crash.m32: the converter crashed (" +
                std::string(kCrash) +
                ")\n"
                "d-gone.m32: no such file any more\n"
                "e-quiet.m32: the converter ended with exit code 3\n"
                "g-said-then-crashed.m32: <b>half</b> way");
  EXPECT_TRUE(box.plainText);  // a converter's words are never taken as markup
  EXPECT_TRUE(box.closedByKey) << "Escape did not close it";
  EXPECT_EQ(converted().size(), 6u);  // the files still there all ran
}

// The box is the form's even while another window is active, and long names and long
// words of the converter's, which no word wrap can break, leave it within the screen, at
// 96 and (where the runtime does not scale by itself) 144 DPI. A long name is shortened
// in its middle, so that its reason shows whole.
TEST_F(WindowTest, NoMessageAfterACleanBatchAndALongListIsCutToABoxOwnedByTheFormWithinTheScreen) {
  std::string words;
  for (int i = 0; i < 80; ++i) words += "word" + std::to_string(i) + " ";
  for (int i = 0; i < 13; ++i)
    WriteFile(work("bad" + std::to_string(10 + i)) + ".m32",
              "say " + (i % 2 ? words : std::string(400, 'x')) + "\nexit 1\n");
  const std::string longName = "bad0" + std::string(150, 'n') + ".m32";
  WriteFile(work(longName), "exit 1\n");
  WriteFile(work("good.m32"));
  auto& window = openWindow();
  ASSERT_TRUE(testing_support::ShowAndActivate(window));
  MessageBoxWatcher boxes(testing_support::Key::kReturn);
  select({14});
  window.Command1_Click();
  EXPECT_TRUE(boxes.shown().empty()) << runtime::ToUtf8(boxes.shown()[0].text);

  const auto other = testing_support::ActivateAnotherWindow();
  ASSERT_TRUE(other);
  selectAll();
  for (int dpi : {96, 144}) {
    if (dpi != 96 && !testing_support::ChangeDpi(window, dpi)) break;
    window.Command1_Click();
    ASSERT_EQ(boxes.shown().size(), dpi == 96 ? 1u : 2u);
    const auto& box = boxes.shown().back();
    EXPECT_TRUE(box.withinScreen);
    EXPECT_TRUE(box.modalToForm);
    EXPECT_TRUE(box.closedByKey) << "Enter did not close it";
    const std::string text = runtime::ToUtf8(box.text);
    EXPECT_TRUE(text.starts_with("14 of 15 files were not converted:\n") && text.ends_with("\nand 4 more")) << text;
    std::vector<std::string> named;  // the files the lines that name one begin with
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
      if (line.starts_with("bad")) named.push_back(line.substr(0, line.find(':')));
    // The first ten, in list order.
    EXPECT_TRUE(named.size() == 10 && named[1] == "bad10.m32" && named[9] == "bad18.m32") << text;
    const std::size_t start = text.find("\n\nbad") + 2, end = text.find(": the converter ended with exit code 1\n");
    ASSERT_NE(end, std::string::npos) << text;
    std::string shown = text.substr(start, end - start);
    std::erase(shown, '\n');  // where the box's rows are broken
    const std::size_t middle = shown.find("\u2026");
    ASSERT_NE(middle, std::string::npos) << text;
    EXPECT_TRUE(longName.starts_with(shown.substr(0, middle)) && longName.ends_with(shown.substr(middle + 3))) << text;
  }
}

// Wine's X11 driver waits up to 2 s for a window manager to confirm that a window is
// hidden; under Xvfb there is none. Real Windows hides at once, like Qt here.
#ifdef _WIN32
constexpr auto kHidingTakes = 2500ms;
#else
constexpr auto kHidingTakes = 0ms;
#endif

TEST_F(WindowTest, AConverterThatNeverEndsIsStoppedThreeSecondsAfterAClose) {
  WriteFile(work("a.m32"), "hang\n");
  WriteFile(work("b.m32"));
  auto& window = openWindow();
  ASSERT_TRUE(testing_support::ShowAndActivate(window));
  selectAll();
  MessageBoxWatcher boxes;
  Clock::time_point closedAt;
  testing_support::After(100, [&] {
    closedAt = Clock::now();
    window.close();
  });
  window.Command1_Click();
  const auto waited = Clock::now() - closedAt;

  EXPECT_GE(waited, frmPellicar::kStopAfterClose);
  EXPECT_LT(waited, frmPellicar::kStopAfterClose + 2s + kHidingTakes);
  ASSERT_EQ(runs().size(), 1u);  // b.m32 never started
  EXPECT_FALSE(testing_support::ProcessRuns(runs()[0].processId)) << "the converter still runs";
  EXPECT_FALSE(window.visible());
  EXPECT_TRUE(boxes.shown().empty()) << "a closing window showed a message";
}

#ifdef _WIN32
// This test runs again as its own child, started in the test's folder, where it is the
// window killed mid-batch: its converter goes with it.
TEST_F(WindowTest, AKilledWindowTakesItsConverterWithIt) {
  if (const auto parent = startDirectory_; std::filesystem::exists(parent / "work" / "a.m32")) {
    std::filesystem::current_path(parent / "work");
    std::filesystem::remove_all(testing_support::FsPath(folder_.path()));  // killed, it could not later
    ScopedEnv log("PELLICAR_TEST_LOG", (parent / "converter.log").string());
    auto& window = openWindow();
    selectAll();
    window.Command1_Click();  // never returns: the converter hangs
    return;
  }
  WriteFile(work("a.m32"), "hang\n");
  std::wstring line = L"\"" + (testing_support::OwnFolder() / "pellicar_window_test.exe").wstring() +
                      L"\" --gtest_filter=WindowTest.AKilledWindowTakesItsConverterWithIt";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION window{};
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             testing_support::FsPath(folder_.path()).c_str(), &startup, &window));
  const auto waitFor = [](const std::function<bool()>& done) {
    for (const auto end = Clock::now() + 20s; !done() && Clock::now() < end;) std::this_thread::sleep_for(10ms);
    return done();
  };
  const bool started = waitFor([&] { return runs().size() == 1; });
  TerminateProcess(window.hProcess, 1);
  CloseHandle(window.hThread);
  CloseHandle(window.hProcess);
  ASSERT_TRUE(started) << "the converter did not start";
  EXPECT_TRUE(waitFor([&] { return !testing_support::ProcessRuns(runs()[0].processId); }))
      << "the converter outlived its window";
}
#endif

}  // namespace
