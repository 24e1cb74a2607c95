// The busy state: an event filter on the whole application drops input, and the
// override cursor shows the wait cursor.
#include <QApplication>
#include <QEvent>
#include <QObject>

#include "runtime/busy.h"

namespace runtime {
namespace {

class InputDropper : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
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
};

InputDropper& Dropper() {
  static InputDropper dropper;
  return dropper;
}

}  // namespace

BusyScope::BusyScope(Form&) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  qApp->installEventFilter(&Dropper());
}

BusyScope::~BusyScope() {
  qApp->removeEventFilter(&Dropper());
  QApplication::restoreOverrideCursor();
}

void DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

}  // namespace runtime
