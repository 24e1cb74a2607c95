#pragma once
// A message box: owned by the program's form and modal to it, its text shown as plain
// text, closed by Enter or Escape. A word too long for a row is broken and a long line
// cut, so that the box stays within the screen on either runtime.
#include <string>
#include <vector>

namespace runtime {

enum class MsgBoxIcon { kCritical, kWarning };

// A line that names something, such as a file, and says something of it: shown as
// "name: text", or as the text alone when there is no name.
struct NamedLine {
  std::u16string name;
  std::u16string text;
};

struct Message {
  std::u16string title;
  std::u16string text;
  MsgBoxIcon icon = MsgBoxIcon::kWarning;
  // Shown below `text`, one a line. Where one is too long for its share of the box, its
  // name is shortened in its middle ("long_na…e.m32") before its text is ever cut.
  std::vector<NamedLine> lines = {};
};

// Shows `message` and returns once the user has closed it.
void MsgBox(const Message& message);

}  // namespace runtime
