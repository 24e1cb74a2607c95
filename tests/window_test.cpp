// The window as a person meets it: its layout in twips, the keyboard, and the file list.
#include <QApplication>
#include <QTest>

#include "support/window_fixture.h"

using testing_support::WriteFile;

namespace {

struct Placement {
  const char* name;
  int left, top, width, height;  // twips, as the window is designed
};

TEST_F(WindowTest, ControlsSitWhereTheDesignPutsThemInTwips) {
  auto& window = openWindow();
  EXPECT_EQ(window.windowTitle(), "Pellicar convertor");
  EXPECT_EQ(window.size(), QSize(4725 / 15, 4650 / 15));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());  // the border does not resize

  const Placement design[] = {{"Drive1", 45, 885, 1995, 315},    {"Dir1", 45, 1320, 1995, 2790},
                              {"File1", 2160, 885, 2460, 3210},  {"Command1", 720, 4200, 2895, 375},
                              {"Label2_0", 840, 120, 3795, 255}, {"Label2_1", 840, 360, 3795, 255},
                              {"Label2_2", 840, 600, 3795, 255}, {"Picture1", 120, 120, 690, 690}};
  for (const auto& control : design) {
    const auto* widget = window.findChild<QWidget*>(control.name);
    ASSERT_NE(widget, nullptr) << control.name;
    EXPECT_EQ(widget->geometry(), QRect(control.left / 15, control.top / 15, control.width / 15, control.height / 15))
        << control.name;
  }
  EXPECT_EQ(window.Command1->text(), "Convert to TGA");
  for (auto* label : window.Label2) EXPECT_FALSE(label->text().isEmpty());
  const auto iconSizes = window.windowIcon().availableSizes();
  for (QSize size : {QSize(16, 16), QSize(32, 32), QSize(48, 48)})
    EXPECT_TRUE(iconSizes.contains(size)) << size.width();
  EXPECT_EQ(window.Picture1->pixmap().size(), QSize(42, 42));
  EXPECT_EQ(window.Picture1->contentsRect().size(), QSize(42, 42));  // a 2-pixel border each side
}

TEST_F(WindowTest, TabWalksTheWorkingControlsAndThePictureThenComesBack) {
  auto& window = openWindow();
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  window.Drive1->setFocus();

  const QWidget* expected[] = {window.Dir1, window.File1, window.Command1, window.Picture1, window.Drive1};
  for (const QWidget* next : expected) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
  }
  for (auto* label : window.Label2) EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
}

TEST_F(WindowTest, EnterInTheFileListStartsNothing) {
  WriteFile(work() + "/rock.m32");
  auto& window = openWindow();
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  select({0});
  window.File1->setFocus();
  QTest::keyClick(window.File1, Qt::Key_Return);
  QTest::keyClick(window.File1, Qt::Key_Enter);
  EXPECT_TRUE(runs().empty());
  EXPECT_FALSE(window.Command1->isDefault());
}

TEST_F(WindowTest, FileListShowsMatchingRegularFilesInNameOrderWithNothingSelected) {
  for (const char* name : {"sky.m32", "ROCK.M32", "Moss.M32", ".hidden.m32", "readme.txt", "rock.m32.tga"})
    WriteFile(work() + "/" + name);
  std::filesystem::create_directory(work() + "/folder.m32");
  auto& window = openWindow();

  QStringList names;
  for (int i = 0; i < window.File1->listCount(); ++i) {
    names << window.File1->list(i);
    EXPECT_FALSE(window.File1->selected(i));
  }
  EXPECT_EQ(names, (QStringList{"Moss.M32", "ROCK.M32", "sky.m32"}));
  EXPECT_EQ(window.File1->path().toStdString(), work());
  EXPECT_EQ(window.Dir1->path().toStdString(), work());
  EXPECT_EQ(window.File1->selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST_F(WindowTest, NamesThatAreNotValidTextAreListedWithReplacementCharacters) {
  WriteFile(work() + "/caf\xe9.m32");
  auto& window = openWindow();
  ASSERT_EQ(window.File1->listCount(), 1);
  const QString shown = window.File1->model()->index(0, 0).data().toString();
  EXPECT_EQ(shown, QString::fromUtf8("caf\xef\xbf\xbd.m32"));
}

TEST_F(WindowTest, AnEmptyFolderLeavesTheButtonEnabledAndAClickDoesNothing) {
  auto& window = openWindow();
  EXPECT_EQ(window.File1->listCount(), 0);
  EXPECT_TRUE(window.Command1->isEnabled());
  window.Command1->click();
  EXPECT_TRUE(runs().empty());
}

}  // namespace
