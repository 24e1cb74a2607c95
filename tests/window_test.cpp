// The window as a person meets it: its layout in twips, the keyboard, and the file list.
#include "support/window_fixture.h"

using runtime::Pixels;
using testing_support::Key;
using testing_support::PressKey;
using testing_support::WriteFile;

namespace {

testing_support::Rect InPixels(const runtime::TwipsRect& twips, int dpi) {
  return {Pixels(twips.left, dpi), Pixels(twips.top, dpi), Pixels(twips.width, dpi), Pixels(twips.height, dpi)};
}

// At the resolution the window opens with, and again after a move to a screen of 144
// dots per inch where the runtime leaves that to the form.
TEST_F(WindowTest, ControlsSitWhereTheDesignPutsThemInTwips) {
  auto& window = openWindow();
  EXPECT_EQ(window.caption(), u"Pellicar convertor");
  EXPECT_FALSE(testing_support::Resizable(window));
  EXPECT_EQ(window.Command1.caption(), u"Convert to TGA");
  for (const auto& label : window.Label2) EXPECT_FALSE(label.caption().empty());

  for (const int dpi : {testing_support::Dpi(window), 144}) {
    if (dpi != testing_support::Dpi(window) && !testing_support::ChangeDpi(window, dpi)) break;
    EXPECT_EQ(testing_support::ClientSize(window), (testing_support::Size{Pixels(4725, dpi), Pixels(4650, dpi)}));
    const struct {
      const char* name;
      const runtime::Control& control;
      runtime::TwipsRect design;
    } design[] = {
        {"Drive1", window.Drive1, {45, 885, 1995, 315}},        {"Dir1", window.Dir1, {45, 1320, 1995, 2790}},
        {"File1", window.File1, {2160, 885, 2460, 3210}},       {"Command1", window.Command1, {720, 4200, 2895, 375}},
        {"Label2(0)", window.Label2[0], {840, 120, 3795, 255}}, {"Label2(1)", window.Label2[1], {840, 360, 3795, 255}},
        {"Label2(2)", window.Label2[2], {840, 600, 3795, 255}}, {"Picture1", window.Picture1, {120, 120, 690, 690}}};
    for (const auto& control : design) {
      auto shown = testing_support::Geometry(control.control);
      const auto expected = InPixels(control.design, dpi);
      if (&control.control == &window.Drive1) {  // a drop-down list is as high as the system makes it
        EXPECT_LE(shown.top + shown.height, testing_support::Geometry(window.Dir1).top) << "at " << dpi;
        shown.height = expected.height;
      }
      EXPECT_EQ(shown, expected) << control.name << " at " << dpi;
    }
    EXPECT_TRUE(testing_support::HasIcons(window)) << "at " << dpi;
    const int picture = 42 * dpi / runtime::kStandardDpi;  // the 42-pixel picture, scaled with the rest
    EXPECT_EQ(testing_support::PictureSize(window.Picture1), (testing_support::Size{picture, picture})) << dpi;
    const auto room = testing_support::PictureRoom(window.Picture1);
    EXPECT_TRUE(room.width >= picture && room.height >= picture) << "at " << dpi;
    if (dpi == runtime::kStandardDpi) {
      EXPECT_EQ(room, (testing_support::Size{42, 42}));  // a 2-pixel border
    }
  }
}

TEST_F(WindowTest, TabWalksTheWorkingControlsAndThePictureThenComesBack) {
  auto& window = openWindow();
  ASSERT_TRUE(testing_support::ShowAndActivate(window));
  EXPECT_TRUE(window.Drive1.hasFocus());  // the first in the tab order has it from the start

  const struct {
    const char* name;
    const runtime::Control& control;
  } expected[] = {{"Dir1", window.Dir1},
                  {"File1", window.File1},
                  {"Command1", window.Command1},
                  {"Picture1", window.Picture1},
                  {"Drive1", window.Drive1}};
  for (const auto& next : expected) {
    PressKey(window, Key::kTab);
    EXPECT_TRUE(next.control.hasFocus()) << next.name;
  }
}

TEST_F(WindowTest, EnterInTheFileListStartsNothing) {
  WriteFile(work("rock.m32"));
  auto& window = openWindow();
  ASSERT_TRUE(testing_support::ShowAndActivate(window));
  select({0});
  window.File1.setFocus();
  PressKey(window, Key::kReturn);
  testing_support::ProcessEvents(100);
  EXPECT_TRUE(runs().empty());
  EXPECT_TRUE(window.File1.selected(0));
}

TEST_F(WindowTest, TheKeyboardAloneConvertsEveryFileOfTheFolder) {
  for (const char* name : {"a.m32", "b.m32", "c.m32"}) WriteFile(work(name));
  auto& window = openWindow();
  ASSERT_TRUE(testing_support::ShowAndActivate(window));
  for (Key key : {Key::kTab, Key::kTab, Key::kHome, Key::kShiftEnd, Key::kTab, Key::kSpace}) PressKey(window, key);
  testing_support::ProcessEvents(100);

  std::vector<std::string> converted;
  for (const auto& run : runs()) converted.push_back(run.arguments.at(0));
  EXPECT_EQ(converted, (std::vector<std::string>{work("a.m32"), work("b.m32"), work("c.m32")}));
}

TEST_F(WindowTest, FileListShowsMatchingRegularFilesInNameOrderWithNothingSelected) {
  for (const char* name : {"sky.m32", "ROCK.M32", "Moss.M32", ".hidden.m32", "readme.txt", "rock.m32.tga"})
    WriteFile(work(name));
  testing_support::MakeHidden(work(".hidden.m32"));
  std::filesystem::create_directory(testing_support::FsPath(work("folder.m32")));
  auto& window = openWindow();

  std::vector<std::u16string> names;
  for (int i = 0; i < window.File1.listCount(); ++i) {
    names.push_back(window.File1.list(i));
    EXPECT_FALSE(window.File1.selected(i));
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Moss.M32", u"ROCK.M32", u"sky.m32"}));
  EXPECT_EQ(runtime::ToUtf8(window.File1.path()), work());
  EXPECT_EQ(runtime::ToUtf8(window.Dir1.path()), work());
}

#ifndef _WIN32  // Windows names are always text
TEST_F(WindowTest, NamesThatAreNotValidTextAreListedWithReplacementCharacters) {
  WriteFile(work("caf\xe9.m32"));
  auto& window = openWindow();
  ASSERT_EQ(window.File1.listCount(), 1);
  EXPECT_EQ(testing_support::ShownText(window.File1, 0), u"caf\ufffd.m32");
}
#endif

TEST_F(WindowTest, AnEmptyFolderLeavesTheButtonEnabledAndAClickDoesNothing) {
  auto& window = openWindow();
  EXPECT_EQ(window.File1.listCount(), 0);
  ASSERT_TRUE(testing_support::ShowAndActivate(window));
  testing_support::Click(window.Command1);
  testing_support::ProcessEvents(100);
  EXPECT_TRUE(runs().empty());
  EXPECT_TRUE(window.visible());
}

}  // namespace
