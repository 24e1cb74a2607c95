#pragma once
// The Qt peers: a form is a QWidget window, a control one of its child widgets.
#include <QWidget>

#include "runtime/control.h"
#include "runtime/form.h"

namespace runtime {

class Control::Peer {
 public:
  explicit Peer(QWidget* widget) : widget_(widget) {}
  virtual ~Peer() { delete widget_; }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  QWidget* widget() const { return widget_; }

 private:
  QWidget* widget_;
};

class Form::Peer : public QWidget {
 public:
  explicit Peer(Form& form);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Form& form_;
};

namespace qt {

inline QString ToQString(const std::u16string& text) { return QString::fromStdU16String(text); }
inline std::u16string FromQString(const QString& text) { return text.toStdU16String(); }

}  // namespace qt
}  // namespace runtime
