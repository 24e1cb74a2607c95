#include "msgbox.h"

#include <QMessageBox>

namespace runtime {
namespace {

QMessageBox::Icon IconOf(MsgBoxStyle style) {
  switch (style) {
    case MsgBoxStyle::Critical: return QMessageBox::Critical;
    case MsgBoxStyle::Exclamation: return QMessageBox::Warning;
    case MsgBoxStyle::Information: return QMessageBox::Information;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void MsgBox(QWidget* owner, const QString& prompt, MsgBoxStyle style, const QString& title) {
  QMessageBox box(IconOf(style), title, prompt, QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);  // names and the converter's words are never markup
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  box.exec();
}

}  // namespace runtime
