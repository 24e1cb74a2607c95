// Browsing: the drive list drives the directory list, the directory list drives the
// file list, and a drive that is not ready or a folder that vanishes ends nothing.
#include <algorithm>

#include "runtime/common/lists.h"
#include "support/window_fixture.h"
#include "system/drives.h"

using runtime::FromUtf8;
using runtime::ToUtf8;
using testing_support::WriteFile;

namespace {

class BrowsingTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    for (const char* folder :
         {"driveA", "driveA/work", "driveA/work/sub", "driveA/work/sub/deeper", "driveB", "driveB/textures"})
      std::filesystem::create_directory(folder_ / folder);
    WriteFile(folder_ / "driveA/work/here.m32");
    WriteFile(folder_ / "driveA/work/sub/below.M32");
    WriteFile(folder_ / "driveB/b1.m32");
    WriteFile(folder_ / "driveB/B2.M32");
    sys::OverrideDrives(
        {Drive(root(), "root"), Drive(drive("A"), "A"), Drive(drive("B"), "B"), Drive(drive("Gone"), "GONE")});
    std::filesystem::current_path(testing_support::FsPath(drive("A", "work")));
  }

  void TearDown() override {
    WindowTest::TearDown();
    sys::OverrideDrives({});
  }

  // The folder that stands for drive `letter`, or `name` in it ('/' for the separator).
  std::string drive(const std::string& letter, const std::string& name = "") const {
    return folder_ / ("drive" + letter + (name.empty() ? "" : "/" + name));
  }
  static sys::Drive Drive(const std::string& root, const std::string& label) {
    return {sys::ToNative(FromUtf8(root)), sys::ToNative(FromUtf8(label))};
  }
  // The root of the file system the test folders are on: a drive of its own.
  std::string root() const { return testing_support::FsPath(folder_.path()).root_path().string(); }
  std::u16string rootDesignation() const { return sys::FromNative(sys::Designation(Drive(root(), "root"))); }

  // How the drive list names the drive: by default, labelled with its letter.
  std::u16string designation(const std::string& letter, std::string label = "") const {
    return FromUtf8(drive(letter) + " [" + (label.empty() ? letter : label) + "]");
  }

  // Picks a drive in the drive list as a person would; counts the drive changes.
  static int pick(frmPellicar& window, const std::u16string& designation) {
    int changes = 0;
    const runtime::Event handler = window.Drive1.Change;
    window.Drive1.Change = [&] {
      ++changes;
      handler();
    };
    testing_support::PickDrive(window.Drive1, designation);
    window.Drive1.Change = handler;
    return changes;
  }

  // The index of the directory list's line for `directory`; -1 when it shows none.
  static int lineOf(const frmPellicar& window, const std::string& directory) {
    const auto lines = Lines(window.Dir1);
    const auto line = std::ranges::find(lines, FromUtf8(directory));
    return line == lines.end() ? -1 : static_cast<int>(line - lines.begin());
  }

  void expectInStep(const frmPellicar& window, const std::string& directory, const std::u16string& driveShown) {
    EXPECT_EQ(ToUtf8(window.Dir1.path()), directory);
    EXPECT_EQ(ToUtf8(window.File1.path()), directory);
    EXPECT_EQ(window.Drive1.drive(), driveShown);
  }
};

TEST_F(BrowsingTest, PickingADriveOpensItsCurrentDirectoryAndRefillsTheFileList) {
  auto& window = openWindow();
  expectInStep(window, drive("A", "work"), designation("A"));
  EXPECT_EQ(Lines(window.File1), std::vector<std::u16string>{u"here.m32"});

  EXPECT_EQ(pick(window, designation("B")), 1);
  expectInStep(window, drive("B"), designation("B"));  // no current directory there: its mount path
  EXPECT_EQ(Lines(window.File1), (std::vector<std::u16string>{u"b1.m32", u"B2.M32"}));

  window.Dir1.setPath(FromUtf8(drive("A", "work/sub//")));
  expectInStep(window, drive("A", "work/sub"), designation("A"));
  pick(window, designation("B"));
  EXPECT_EQ(pick(window, designation("A")), 1);
  expectInStep(window, drive("A", "work"), designation("A"));  // A's current directory, not sub
}

TEST_F(BrowsingTest, TheDirectoryListShowsAncestorsAboveAndSubdirectoriesOneStepDeeper) {
  std::filesystem::create_directory(testing_support::FsPath(drive("A", "work/Alpha")));
  std::filesystem::create_directory(testing_support::FsPath(drive("A", "work/.hidden")));
  testing_support::MakeHidden(drive("A", "work/.hidden"));
  const auto entries = runtime::common::ReadDirectoryList(FromUtf8(drive("A", "work")));
  ASSERT_GE(entries.size(), 3u);
  const std::size_t work = entries.size() - 3;  // then Alpha and sub; the hidden one is left out
  EXPECT_EQ(ToUtf8(entries[0].path), root());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const bool below = i > work;
    EXPECT_EQ(entries[i].level, static_cast<int>(below ? work + 1 : i));
    EXPECT_EQ(entries[i].open, !below);
    EXPECT_TRUE(i == 0 || below || entries[i - 1].path == runtime::ParentPath(entries[i].path)) << i;
  }
  EXPECT_EQ(ToUtf8(entries[work].path), drive("A", "work"));
  EXPECT_EQ(entries[work].name, u"work");
  EXPECT_EQ(entries[work + 1].name, u"Alpha");  // name order, without regard to case
  EXPECT_EQ(entries[work + 2].name, u"sub");
  EXPECT_EQ(runtime::common::OpenIndex(entries), static_cast<int>(work));
}

TEST_F(BrowsingTest, OpeningADirectoryTakesTheOtherListsAlongAndClearsTheSelection) {
  auto& window = openWindow();
  ASSERT_TRUE(testing_support::ShowAndActivate(window));
  select({0});
  ASSERT_TRUE(window.File1.selected(0));

  window.Dir1.setFocus();
  window.Dir1.setListIndex(lineOf(window, drive("A", "work/sub")));  // a highlight alone opens nothing
  EXPECT_EQ(ToUtf8(window.File1.path()), drive("A", "work"));

  testing_support::PressKey(testing_support::Key::kReturn);
  expectInStep(window, drive("A", "work/sub"), designation("A"));
  EXPECT_EQ(Lines(window.File1), std::vector<std::u16string>{u"below.M32"});
  EXPECT_FALSE(window.File1.selected(0));

  testing_support::DoubleClickDirectory(window.Dir1, lineOf(window, drive("A")));
  expectInStep(window, drive("A"), designation("A"));
  EXPECT_TRUE(Lines(window.File1).empty());

  // Above a drive's mount path the drive list moves along quietly.
  int driveChanges = 0;
  window.Drive1.Change = [&] { ++driveChanges; };
  testing_support::DoubleClickDirectory(window.Dir1, lineOf(window, folder_.path()));
  expectInStep(window, folder_.path(), rootDesignation());  // the folder opened, not the root drive's current directory
  EXPECT_EQ(driveChanges, 0);

  // A vanished folder moves the lists to its nearest readable ancestor.
  window.Dir1.setPath(FromUtf8(drive("A", "work/sub/deeper")));
  std::filesystem::remove_all(drive("A", "work/sub"));

  // A folder that cannot be listed is not opened: the lists stay where they were.
  testing_support::DoubleClickDirectory(window.Dir1, lineOf(window, drive("A", "work/sub")));
  EXPECT_EQ(ToUtf8(window.Dir1.path()), drive("A", "work/sub/deeper"));

  window.Dir1_Change();  // as when the list reports a change to a folder that has just gone
  expectInStep(window, drive("A", "work"), designation("A"));
  EXPECT_EQ(Lines(window.File1), std::vector<std::u16string>{u"here.m32"});
}

// Opened on a folder, or on a file (through a link: the file it points to), the lists
// start there; opened on what is not there, in the current directory. Neither that nor
// browsing moves where the converter starts.
TEST_F(BrowsingTest, OpenedOnAPlaceTheListsStartThereAndTheConverterWhereTheProgramDid) {
  struct Place {
    std::string given, opened, drive;
  };
  std::vector<Place> places{{drive("B", "textures"), drive("B", "textures"), "B"},
                            {drive("B") + "/", drive("B"), "B"},
                            {"sub", drive("A", "work/sub"), "A"},
                            {drive("A", "missing.m32"), drive("A", "work"), "A"}};
#ifndef _WIN32
  std::filesystem::create_symlink(drive("B", "b1.m32"), folder_ / "link.m32");
  places.push_back({folder_ / "link.m32", drive("B"), "B"});
#endif
  places.push_back({drive("B", "b1.m32"), drive("B"), "B"});
  for (const auto& place : places) {
    SCOPED_TRACE(place.given);
    runtime::StartListsIn(FromUtf8(place.given));
    expectInStep(openWindow(), place.opened, designation(place.drive));
  }
  auto& window = openWindow();  // on b1.m32
  window.Dir1.setPath(FromUtf8(drive("B", "textures")));
  // A drive that is not ready snaps back to the drive's own folder, not to the last one.
  EXPECT_EQ(pick(window, designation("Gone", "GONE")), 2);
  expectInStep(window, drive("B"), designation("B"));
  ASSERT_EQ(Lines(window.File1), (std::vector<std::u16string>{u"b1.m32", u"B2.M32"}));
  select({0});
  window.Command1_Click();

  ASSERT_EQ(runs().size(), 1u);
  EXPECT_EQ(runs()[0].workingDirectory, drive("A", "work"));
  EXPECT_EQ(runs()[0].arguments, std::vector<std::string>{drive("B", "b1.m32")});
  EXPECT_EQ(std::filesystem::current_path(), drive("A", "work"));
}

TEST_F(BrowsingTest, TheDriveListShowsTheDrivesMountedWhenItOpens) {
  auto& window = openWindow();
  std::filesystem::create_directory(drive("C"));
  sys::OverrideDrives({Drive(root(), "root"), Drive(drive("A"), "A"), Drive(drive("C"), "STICK")});
  EXPECT_EQ(std::ranges::count(Lines(window.Drive1), designation("C", "STICK")), 0);
  testing_support::PickDrive(window.Drive1, u"");
  EXPECT_EQ(Lines(window.Drive1), (std::vector{rootDesignation(), designation("A"), designation("C", "STICK")}));
  EXPECT_EQ(window.Drive1.drive(), designation("A"));
}

}  // namespace
