#pragma once
// A message in a box of its own, over a window.
#include <QString>

class QWidget;

namespace runtime {

enum class MsgBoxStyle { Critical, Exclamation, Information };

// Shows `prompt` as plain text, with the style's icon and an OK button, in a box that
// keeps `owner` from taking input until it is closed: by OK, Enter or Escape.
void MsgBox(QWidget* owner, const QString& prompt, MsgBoxStyle style, const QString& title);

}  // namespace runtime
