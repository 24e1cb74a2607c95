#include "support/window_support.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "runtime/qt/peer.h"

namespace testing_support {
namespace {

QWidget* Widget(const runtime::Control& control) { return control.peer().widget(); }

void Press(QWidget* widget, Key key) {
  constexpr Qt::Key kKeys[] = {Qt::Key_Tab, Qt::Key_Return, Qt::Key_Escape, Qt::Key_Home, Qt::Key_End, Qt::Key_Space};
  QTest::keyClick(widget, kKeys[static_cast<int>(key)], key == Key::kShiftEnd ? Qt::ShiftModifier : Qt::NoModifier);
}

}  // namespace

bool ShowAndActivate(runtime::Form& form) {
  form.show();
  QApplication::setActiveWindow(&form.peer());
  return QTest::qWaitForWindowActive(&form.peer());
}

void ProcessEvents(int milliseconds) {
  QCoreApplication::processEvents();
  if (milliseconds > 0) QTest::qWait(milliseconds);
}

void After(int milliseconds, std::function<void()> action) { QTimer::singleShot(milliseconds, std::move(action)); }

void PressKey(Key key) { Press(QApplication::focusWidget(), key); }

void Click(runtime::Control& control) { QTest::mouseClick(Widget(control), Qt::LeftButton); }

void PickDrive(runtime::DriveListBox& list, const std::u16string& designation) {
  auto& combo = *static_cast<QComboBox*>(Widget(list));
  combo.showPopup();
  combo.hidePopup();
  if (!designation.empty()) combo.setCurrentIndex(combo.findText(QString::fromStdU16String(designation)));
}

void DoubleClickDirectory(runtime::DirListBox& list, int index) {
  auto& tree = *static_cast<QTreeWidget*>(Widget(list));
  list.setListIndex(index);
  emit tree.itemDoubleClicked(tree.currentItem(), 0);
}

int Dpi(const runtime::Form&) { return runtime::kStandardDpi; }  // Qt lays out in device-independent pixels

bool ChangeDpi(runtime::Form&, int) { return false; }

Rect ClientSize(const runtime::Form& form) { return {0, 0, form.peer().width(), form.peer().height()}; }

bool Resizable(const runtime::Form& form) { return form.peer().minimumSize() != form.peer().maximumSize(); }

bool HasIcons(const runtime::Form& form) {
  const auto sizes = form.peer().windowIcon().availableSizes();
  return sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32));
}

Rect Geometry(const runtime::Control& control) {
  const QRect r = Widget(control)->geometry();
  return {r.left(), r.top(), r.width(), r.height()};
}

Rect PictureSize(const runtime::PictureBox& picture) {
  const QSize size = static_cast<QLabel*>(Widget(picture))->pixmap().size();
  return {0, 0, size.width(), size.height()};
}

Rect PictureRoom(const runtime::PictureBox& picture) {
  const QSize size = static_cast<QLabel*>(Widget(picture))->contentsRect().size();
  return {0, 0, size.width(), size.height()};
}

std::u16string ShownText(const runtime::FileListBox& list, int index) {
  const auto* view = static_cast<QListView*>(Widget(list));
  return view->model()->index(index, 0).data().toString().toStdU16String();
}

bool BusyCursorShown() {
  return QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
}

std::shared_ptr<void> ActivateAnotherWindow() {
  auto other = std::make_shared<QWidget>();
  other->show();
  QApplication::setActiveWindow(other.get());
  return QTest::qWaitForWindowActive(other.get()) ? other : nullptr;
}

void WatchCaption(runtime::Form& form, std::function<void(const std::u16string&)> seen) {
  QObject::connect(&form.peer(), &QWidget::windowTitleChanged,
                   [seen = std::move(seen)](const QString& title) { seen(title.toStdU16String()); });
}

std::optional<ShownMessage> CloseMessageBox(Key key) {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (!box || !box->isVisible()) return std::nullopt;
  const auto* form = dynamic_cast<runtime::Form::Peer*>(box->parentWidget());
  ShownMessage seen{box->windowTitle().toStdU16String(),
                    box->text().toStdU16String(),
                    box->icon() == QMessageBox::Warning,
                    box->textFormat() == Qt::PlainText,
                    false,
                    box->screen()->availableGeometry().contains(box->frameGeometry()),
                    form && box->isModal()};
  Press(box->focusWidget() ? box->focusWidget() : box, key);
  seen.closedByKey = !box->isVisible();
  if (!seen.closedByKey) box->done(0);  // so that the test goes on, and fails
  return seen;
}

}  // namespace testing_support
