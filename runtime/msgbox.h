#pragma once
// A message box: owned by the program's form and modal to it, its text shown as plain
// text, closed by Enter or Escape. A word too long for a row is broken and a long line
// cut, so that the box stays within the screen on either runtime.
#include <string>

namespace runtime {

enum class MsgBoxIcon { kCritical, kWarning };

struct Message {
  std::u16string title;
  std::u16string text;
  MsgBoxIcon icon = MsgBoxIcon::kWarning;
};

// Shows `message` and returns once the user has closed it.
void MsgBox(const Message& message);

}  // namespace runtime
