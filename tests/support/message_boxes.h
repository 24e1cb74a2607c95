#pragma once
// Watches for message boxes while one lives: each one that shows is read, then closed
// with a key, as a person would close it.
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <vector>

class MessageBoxWatcher {
 public:
  struct Shown {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    Qt::TextFormat format;
    bool closedByKey;
  };

  explicit MessageBoxWatcher(Qt::Key closingKey = Qt::Key_Escape) : closingKey_(closingKey) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
    timer_.start(kLookEveryMs);
  }

  const std::vector<Shown>& shown() const { return shown_; }

 private:
  static constexpr int kLookEveryMs = 10;

  void look() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    Shown seen{box->windowTitle(), box->text(), box->icon(), box->textFormat(), false};
    QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, closingKey_);
    seen.closedByKey = !box->isVisible();
    if (!seen.closedByKey) box->done(0);  // so that the test goes on, and fails
    shown_.push_back(seen);
  }

  Qt::Key closingKey_;
  QTimer timer_;
  std::vector<Shown> shown_;
};
