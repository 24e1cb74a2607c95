// The busy state: an event filter on the whole application drops input, and the
// override cursor shows the wait cursor.
#include <QApplication>
#include <QEvent>
#include <QObject>

#include "runtime/busy.h"
#include "runtime/common/backend.h"

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

class InputDropper : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override { return IsInput(event->type()); }
};

InputDropper& Dropper() {
  static InputDropper dropper;
  return dropper;
}

}  // namespace

namespace backend {

void BeginBusy(Form&) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  qApp->installEventFilter(&Dropper());
}

void EndBusy(Form&) {
  // Input the window system has on its way is fetched now, and dropped with the rest.
  QGuiApplication::sync();
  qApp->removeEventFilter(&Dropper());
  QApplication::restoreOverrideCursor();
}

}  // namespace backend

}  // namespace runtime
