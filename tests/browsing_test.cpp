// Browsing: the drive list drives the directory list, the directory list drives the
// file list, and a drive that is not ready or a folder that vanishes ends nothing.
#include <QApplication>
#include <QTest>

#include "support/window_fixture.h"
#include "system/drives.h"

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
    sys::OverrideDrives({{"/", "root"}, {drive("A"), "A"}, {drive("B"), "B"}, {drive("Gone"), "GONE"}});
    std::filesystem::current_path(drive("A") + "/work");
  }

  void TearDown() override {
    WindowTest::TearDown();
    sys::OverrideDrives({});
  }

  std::string drive(const std::string& letter) const { return folder_ / ("drive" + letter); }
  QString designation(const std::string& letter, const char* label) const {
    return QString::fromStdString(drive(letter) + " [" + label + "]");
  }

  // Picks a drive in the drive list as a person would; counts the drive changes.
  int pick(frmPellicar& window, const QString& designation) {
    int changes = 0;
    auto counter = QObject::connect(window.Drive1, &runtime::DriveListBox::Change, [&] { ++changes; });
    window.Drive1->showPopup();
    window.Drive1->hidePopup();
    window.Drive1->setCurrentIndex(window.Drive1->findText(designation));
    QObject::disconnect(counter);
    return changes;
  }

  static QStringList files(const frmPellicar& window) {
    QStringList names;
    for (int i = 0; i < window.File1->listCount(); ++i) names << window.File1->list(i);
    return names;
  }

  void expectInStep(const frmPellicar& window, const std::string& directory, const QString& driveShown) {
    EXPECT_EQ(window.Dir1->path().toStdString(), directory);
    EXPECT_EQ(window.File1->path().toStdString(), directory);
    EXPECT_EQ(window.Drive1->drive(), driveShown);
  }
};

TEST_F(BrowsingTest, PickingADriveOpensItsCurrentDirectoryAndRefillsTheFileList) {
  auto& window = openWindow();
  expectInStep(window, drive("A") + "/work", designation("A", "A"));
  EXPECT_EQ(files(window), QStringList{"here.m32"});

  EXPECT_EQ(pick(window, designation("B", "B")), 1);
  expectInStep(window, drive("B"), designation("B", "B"));  // no current directory there: its mount path
  EXPECT_EQ(files(window), (QStringList{"b1.m32", "B2.M32"}));

  window.Dir1->setPath(QString::fromStdString(drive("A") + "/work/sub//"));
  expectInStep(window, drive("A") + "/work/sub", designation("A", "A"));
  pick(window, designation("B", "B"));
  EXPECT_EQ(pick(window, designation("A", "A")), 1);
  expectInStep(window, drive("A") + "/work", designation("A", "A"));  // A's current directory, not sub
}

TEST_F(BrowsingTest, ADriveThatIsNotReadySnapsBackWithoutAMessage) {
  auto& window = openWindow();
  window.Dir1->setPath(QString::fromStdString(drive("A") + "/work/sub"));
  ASSERT_EQ(window.File1->path().toStdString(), drive("A") + "/work/sub");

  EXPECT_EQ(pick(window, designation("Gone", "GONE")), 2);  // the pick, then one snap back
  expectInStep(window, drive("A") + "/work", designation("A", "A"));
  EXPECT_EQ(files(window), QStringList{"here.m32"});
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(BrowsingTest, OpeningADirectoryListsItsFilesAndClearsTheSelection) {
  auto& window = openWindow();
  select({0});
  ASSERT_TRUE(window.File1->selected(0));

  auto* subItem = window.Dir1->findItems("sub", Qt::MatchExactly | Qt::MatchRecursive).value(0);
  ASSERT_NE(subItem, nullptr);
  window.Dir1->setCurrentItem(subItem);  // a highlight alone opens nothing
  EXPECT_EQ(window.File1->path().toStdString(), drive("A") + "/work");

  QTest::keyClick(window.Dir1, Qt::Key_Return);
  expectInStep(window, drive("A") + "/work/sub", designation("A", "A"));
  EXPECT_EQ(files(window), QStringList{"below.M32"});
  EXPECT_FALSE(window.File1->selected(0));

  auto* ancestor =
      window.Dir1->findItems(QString::fromStdString("driveA"), Qt::MatchExactly | Qt::MatchRecursive).value(0);
  ASSERT_NE(ancestor, nullptr);
  emit window.Dir1->itemDoubleClicked(ancestor, 0);
  expectInStep(window, drive("A"), designation("A", "A"));
  EXPECT_TRUE(files(window).isEmpty());
}

TEST_F(BrowsingTest, OpeningAFolderAboveADriveMovesTheDriveListAlongQuietly) {
  auto& window = openWindow();
  int driveChanges = 0;
  QObject::connect(window.Drive1, &runtime::DriveListBox::Change, [&] { ++driveChanges; });
  auto* above =
      window.Dir1
          ->findItems(QString::fromStdString(folder_.path()).section('/', -1), Qt::MatchExactly | Qt::MatchRecursive)
          .value(0);
  ASSERT_NE(above, nullptr);
  emit window.Dir1->itemDoubleClicked(above, 0);
  expectInStep(window, folder_.path(), "/ [root]");  // the folder opened, not the root drive's current directory
  EXPECT_EQ(driveChanges, 0);
}

TEST_F(BrowsingTest, AVanishedFolderMovesTheListsToItsNearestReadableAncestor) {
  auto& window = openWindow();
  window.Dir1->setPath(QString::fromStdString(drive("A") + "/work/sub/deeper"));
  std::filesystem::remove_all(drive("A") + "/work/sub");

  // A folder that cannot be listed is not opened: the lists stay where they were.
  auto* gone = window.Dir1->findItems("sub", Qt::MatchExactly | Qt::MatchRecursive).value(0);
  window.Dir1->setCurrentItem(gone);
  QTest::keyClick(window.Dir1, Qt::Key_Return);
  EXPECT_EQ(window.Dir1->path().toStdString(), drive("A") + "/work/sub/deeper");

  window.Dir1_Change();  // as when the list reports a change to a folder that has just gone
  expectInStep(window, drive("A") + "/work", designation("A", "A"));
  EXPECT_EQ(files(window), QStringList{"here.m32"});
}

TEST_F(BrowsingTest, BrowsingNeverMovesWhereTheConverterStarts) {
  auto& window = openWindow();
  pick(window, designation("B", "B"));
  window.Dir1->setPath(QString::fromStdString(drive("B") + "/textures"));
  pick(window, designation("Gone", "GONE"));
  pick(window, designation("B", "B"));
  ASSERT_EQ(window.File1->path().toStdString(), drive("B"));
  select({0});
  window.Command1_Click();

  ASSERT_EQ(runs().size(), 1u);
  EXPECT_EQ(runs()[0].workingDirectory, drive("A") + "/work");
  EXPECT_EQ(runs()[0].arguments, std::vector<std::string>{drive("B") + "/b1.m32"});
  EXPECT_EQ(std::filesystem::current_path(), drive("A") + "/work");
}

TEST_F(BrowsingTest, TheDriveListShowsTheDrivesMountedWhenItOpens) {
  auto& window = openWindow();
  std::filesystem::create_directory(drive("C"));
  sys::OverrideDrives({{"/", "root"}, {drive("A"), "A"}, {drive("C"), "STICK"}});
  EXPECT_EQ(window.Drive1->findText(designation("C", "STICK")), -1);
  window.Drive1->showPopup();
  window.Drive1->hidePopup();
  EXPECT_GE(window.Drive1->findText(designation("C", "STICK")), 0);
  EXPECT_EQ(window.Drive1->findText(designation("B", "B")), -1);
  EXPECT_EQ(window.Drive1->drive(), designation("A", "A"));
}

}  // namespace
