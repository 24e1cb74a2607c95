// The message box: Qt's, owned by the form.
#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QScreen>

#include "peer.h"
#include "runtime/common/backend.h"

namespace runtime::backend {
namespace {

// The form to own a message box: the active one, else the first shown; null if none.
QWidget* ShownForm() {
  if (auto* form = dynamic_cast<Form::Peer*>(QApplication::activeWindow())) return form;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (dynamic_cast<Form::Peer*>(window) && window->isVisible()) return window;
  }
  return nullptr;
}

}  // namespace

int MessageRowsOnScreen() {
  const QWidget* form = ShownForm();
  const QScreen* screen = form ? form->screen() : QGuiApplication::primaryScreen();
  return screen->availableGeometry().height() / QFontMetrics(QApplication::font("QMessageBox")).lineSpacing();
}

// The box is owned by the form, modal, also when another window is active.
void ShowMessageBox(const Message& message) {
  const auto icon = message.icon == MsgBoxIcon::kCritical ? QMessageBox::Critical : QMessageBox::Warning;
  QMessageBox box(icon, qt::ToQString(message.title), qt::ToQString(message.text), QMessageBox::Ok, ShownForm());
  box.setTextFormat(Qt::PlainText);  // names and the converter's words are never markup
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  box.exec();
}

}  // namespace runtime::backend
