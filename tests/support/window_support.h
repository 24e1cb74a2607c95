#pragma once
// What a person does to a window, and what the tests look at that the form's interface
// does not give: the one part of the window's tests written once per backend
// (support/qt, support/win32).
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/dirlistbox.h"
#include "runtime/drivelistbox.h"
#include "runtime/filelistbox.h"
#include "runtime/form.h"
#include "runtime/picturebox.h"

namespace testing_support {

enum class Key { kTab, kReturn, kEscape, kHome, kShiftEnd, kSpace };

// In pixels; a size alone where left and top are 0.
struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

// Shows the form and waits until it is the active window.
bool ShowAndActivate(runtime::Form& form);
// Handles the events that are waiting, for about `milliseconds`.
void ProcessEvents(int milliseconds = 0);
// Runs `action` from the event loop once `milliseconds` have passed.
void After(int milliseconds, std::function<void()> action);

// Presses a key in the control that has the focus, and lets the window handle it.
void PressKey(Key key);
// Clicks in the middle of the control with the left mouse button.
void Click(runtime::Control& control);
// Opens the drive list and picks `designation` in it, as a person would; closes it
// again without a pick when `designation` is empty.
void PickDrive(runtime::DriveListBox& list, const std::u16string& designation);
void DoubleClickDirectory(runtime::DirListBox& list, int index);

// The resolution the form is laid out for.
int Dpi(const runtime::Form& form);
// Tells the form that it is now on a display of `dpi` dots per inch, as the system tells
// it when the window moves to another screen; false where the runtime does that itself.
bool ChangeDpi(runtime::Form& form, int dpi);
Rect ClientSize(const runtime::Form& form);
bool Resizable(const runtime::Form& form);
// Whether the window carries icons of 16 and 32 pixels, for the title bar and the
// task switcher, scaled to the form's resolution.
bool HasIcons(const runtime::Form& form);
// Where the control is, in pixels of the client area.
Rect Geometry(const runtime::Control& control);
// The size of the picture shown, and of the room inside the box's border.
Rect PictureSize(const runtime::PictureBox& picture);
Rect PictureRoom(const runtime::PictureBox& picture);
// The text the file list shows on line `index` (on POSIX, where a name may not be text).
std::u16string ShownText(const runtime::FileListBox& list, int index);
bool BusyCursorShown();

// Shows a window of another kind and makes it the active one, until the result is let go;
// nothing when it could not be made active.
std::shared_ptr<void> ActivateAnotherWindow();

// Calls `seen` with each caption the form is given, as it is given.
void WatchCaption(runtime::Form& form, std::function<void(const std::u16string&)> seen);

// A message box as a person saw it.
struct ShownMessage {
  std::u16string title;
  std::u16string text;
  bool warningIcon = false;
  bool plainText = false;    // shown as it is, never taken as markup
  bool closedByKey = false;  // the key the watcher pressed closed it
  bool withinScreen = false;
  bool modalToForm = false;  // owned by the form, which took no input while it showed
};

// Reads the message box that shows now, if one does, and presses `key` (Return or
// Escape) in it, as a person would close it; closes it anyway if the key did not.
std::optional<ShownMessage> CloseMessageBox(Key key);

// Closes each message box that shows while it lives with `closingKey`, and keeps what it read.
class MessageBoxWatcher {
 public:
  explicit MessageBoxWatcher(Key closingKey = Key::kEscape) { Look(shown_, closingKey); }
  const std::vector<ShownMessage>& shown() const { return *shown_; }

 private:
  static void Look(const std::weak_ptr<std::vector<ShownMessage>>& shown, Key key) {
    After(10, [shown, key] {
      if (const auto alive = shown.lock()) {
        if (auto box = CloseMessageBox(key)) alive->push_back(*box);
        Look(alive, key);
      }
    });
  }

  std::shared_ptr<std::vector<ShownMessage>> shown_ = std::make_shared<std::vector<ShownMessage>>();
};

}  // namespace testing_support
