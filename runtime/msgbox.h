#pragma once
// A message box: modal, its text shown as plain text, closed by Enter or Escape.
#include <functional>
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

// Replaces how messages are shown until called with an empty function; for tests.
void OverrideMsgBox(std::function<void(const Message&)> show);

}  // namespace runtime
