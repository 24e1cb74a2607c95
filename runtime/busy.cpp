#include "busy.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include "system/process.h"

namespace runtime {
namespace {

bool IsInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::Drop: return true;
    default: return false;
  }
}

}  // namespace

Busy::Busy(QWidget& window) : window_(window) {}

std::chrono::milliseconds Busy::sinceCloseRequest() const {
  if (!closeRequestedAt_) return {};
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - *closeRequestedAt_);
}

void Busy::setCaption(const QString& caption) { window_.setWindowTitle(caption); }

bool Busy::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &window_ && event->type() == QEvent::Close) {
    if (!closeRequestedAt_) closeRequestedAt_ = std::chrono::steady_clock::now();
    event->ignore();  // the window stays until the scope ends
    return true;
  }
  return IsInput(event->type());
}

void Busy::begin() {
  ownCaption_ = window_.windowTitle();
  closeRequestedAt_.reset();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  qApp->installEventFilter(this);
}

void Busy::end() {
  // Input the window system has on its way is fetched now, and dropped with the rest.
  QGuiApplication::sync();
  qApp->removeEventFilter(this);
  QApplication::restoreOverrideCursor();
  window_.setWindowTitle(ownCaption_);
  if (closeRequestedAt_) window_.close();
}

void DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool WaitForProcessDoingEvents(sys::Process& process, int milliseconds) {
  const bool ended = sys::WaitForProcess(process, milliseconds);
  DoEvents();
  return ended;
}

}  // namespace runtime
