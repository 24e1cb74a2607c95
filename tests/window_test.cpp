// The window as a person meets it: its layout, the keyboard, and the file list.
#include <tuple>

#include "support/window_fixture.h"

using testing_support::Key;
using testing_support::PressKey;
using testing_support::WriteFile;

namespace {

bool LeftOf(const testing_support::Rect& a, const testing_support::Rect& b) { return a.left + a.width <= b.left; }
bool Above(const testing_support::Rect& a, const testing_support::Rect& b) { return a.top + a.height <= b.top; }

// Every control inside the window, in the design's arrangement, which keeps the working
// controls clear of each other: the picture left of the three labels stacked above the
// lists, the drive list above the folders, the files beside them, the button below. After
// a move to a screen of 144 dots per inch, where the runtime leaves that to the form,
// every place scaled with it.
TEST_F(WindowTest, ControlsKeepTheirArrangementAndScaleWithTheResolution) {
  auto& window = openWindow();
  EXPECT_FALSE(testing_support::Resizable(window));
  EXPECT_EQ(window.Command1.caption(), u"Convert to TGA");
  for (const auto& label : window.Label2) EXPECT_FALSE(label.caption().empty());
  const runtime::Control* controls[] = {&window.Drive1,   &window.Dir1,      &window.File1,     &window.Command1,
                                        &window.Picture1, &window.Label2[0], &window.Label2[1], &window.Label2[2]};
  std::vector<testing_support::Rect> first;
  const int firstDpi = testing_support::Dpi(window);
  for (const int dpi : {firstDpi, 144}) {
    if (dpi != firstDpi && !testing_support::ChangeDpi(window, dpi)) break;
    SCOPED_TRACE(dpi);
    std::vector<testing_support::Rect> at;
    for (const auto* control : controls) at.push_back(testing_support::Geometry(*control));
    const auto [drive, dir, file, command, picture, label0, label1, label2] =
        std::tuple(at[0], at[1], at[2], at[3], at[4], at[5], at[6], at[7]);
    const testing_support::Rect client = testing_support::ClientSize(window);
    for (const auto& place : at) {
      EXPECT_TRUE(place.left >= 0 && place.top >= 0 && place.left + place.width <= client.width &&
                  place.top + place.height <= client.height);
    }
    EXPECT_TRUE(LeftOf(picture, label0) && Above(picture, drive) && Above(label2, drive));
    EXPECT_TRUE(label0.left == label1.left && label1.left == label2.left && label0.top < label1.top &&
                label1.top < label2.top);
    EXPECT_TRUE(Above(drive, dir) && drive.left == dir.left && drive.width == dir.width && drive.top == file.top);
    EXPECT_TRUE(LeftOf(dir, file) && Above(dir, command) && Above(file, command));
    for (std::size_t i = 0; dpi != firstDpi && i < at.size(); ++i) {
      const auto scaled = [&](int firstValue) { return firstValue * dpi / firstDpi; };
      EXPECT_NEAR(at[i].left, scaled(first[i].left), 1) << "control " << i;
      EXPECT_NEAR(at[i].top, scaled(first[i].top), 1) << "control " << i;
      EXPECT_NEAR(at[i].width, scaled(first[i].width), 2) << "control " << i;
      if (i > 0) {  // the drive list is as high as the system makes it
        EXPECT_NEAR(at[i].height, scaled(first[i].height), 2) << "control " << i;
      }
    }
    if (first.empty()) first = at;
    EXPECT_TRUE(testing_support::HasIcons(window));
    const int pictureSide = 42 * dpi / runtime::kStandardDpi;  // the 42-pixel picture, scaled with the rest
    EXPECT_EQ(testing_support::PictureSize(window.Picture1), (testing_support::Rect{0, 0, pictureSide, pictureSide}));
    const auto room = testing_support::PictureRoom(window.Picture1);
    EXPECT_TRUE(room.width >= pictureSide && room.height >= pictureSide);
    EXPECT_TRUE(dpi != runtime::kStandardDpi || (room == testing_support::Rect{0, 0, 42, 42}));  // a 2-pixel border
  }
}

// A click in an empty folder, or with nothing selected, starts nothing and leaves the
// button ready. Tab walks the working controls and the picture, then comes back; Enter in
// the file list is not a click on the button.
TEST_F(WindowTest, TheKeyboardAloneConvertsEveryFileOfTheFolder) {
  auto& window = openWindow();
  ASSERT_TRUE(testing_support::ShowAndActivate(window));
  EXPECT_TRUE(window.Drive1.hasFocus());  // the first in the tab order has it from the start
  testing_support::Click(window.Command1);
  testing_support::ProcessEvents(100);
  for (const char* name : {"a.m32", "b.m32", "c.m32"}) WriteFile(work(name));
  window.File1.setPath(runtime::FromUtf8(work()));
  testing_support::Click(window.Command1);
  testing_support::ProcessEvents(100);
  EXPECT_TRUE(runs().empty());
  window.Drive1.setFocus();
  int tabs = 0;
  const auto tab = [&](const runtime::Control& next) {
    PressKey(Key::kTab);
    EXPECT_TRUE(next.hasFocus()) << "after tab " << ++tabs;
  };
  tab(window.Dir1);
  tab(window.File1);
  for (Key key : {Key::kHome, Key::kShiftEnd, Key::kReturn}) PressKey(key);
  testing_support::ProcessEvents(100);
  EXPECT_TRUE(runs().empty());
  tab(window.Command1);
  PressKey(Key::kSpace);
  testing_support::ProcessEvents(100);
  EXPECT_EQ(converted(), (std::vector<std::string>{work("a.m32"), work("b.m32"), work("c.m32")}));
  tab(window.Picture1);
  tab(window.Drive1);
}

TEST_F(WindowTest, FileListShowsMatchingRegularFilesInNameOrderWithNothingSelected) {
  for (const char* name : {"sky.m32", "ROCK.M32", "Moss.M32", ".hidden.m32", "readme.txt", "rock.m32.tga"})
    WriteFile(work(name));
  testing_support::MakeHidden(work(".hidden.m32"));
  std::filesystem::create_directory(testing_support::FsPath(work("folder.m32")));
  auto& window = openWindow();

  EXPECT_EQ(Lines(window.File1), (std::vector<std::u16string>{u"Moss.M32", u"ROCK.M32", u"sky.m32"}));
  for (int i = 0; i < window.File1.listCount(); ++i) EXPECT_FALSE(window.File1.selected(i));
}

#ifndef _WIN32  // Windows names are always text
TEST_F(WindowTest, NamesThatAreNotValidTextAreListedWithReplacementCharacters) {
  WriteFile(work("caf\xe9.m32"));
  auto& window = openWindow();
  ASSERT_EQ(window.File1.listCount(), 1);
  EXPECT_EQ(testing_support::ShownText(window.File1, 0), u"caf\ufffd.m32");
}
#endif

}  // namespace
