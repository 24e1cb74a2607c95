#pragma once
// A window that is busy keeps painting but takes no input, and waits with its closing
// until the work in hand is done.
#include <QObject>
#include <QString>
#include <chrono>
#include <optional>

class QWidget;

namespace sys {
class Process;
}

namespace runtime {

// The busy state of one window. While a BusyScope holds it:
// - the busy cursor shows;
// - keyboard and mouse input to every window is dropped, and never replayed later;
// - the caption may show progress, and the window's own caption comes back afterwards;
// - a request to close the window is held: closeRequested() tells the work in hand, and
//   the window closes when the scope ends. The request stays known until the next scope.
class Busy : public QObject {
 public:
  explicit Busy(QWidget& window);

  bool closeRequested() const { return closeRequestedAt_.has_value(); }
  // How long ago the window was asked to close; zero when it was not.
  std::chrono::milliseconds sinceCloseRequest() const;
  // The caption while busy.
  void setCaption(const QString& caption);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class BusyScope;
  void begin();
  void end();

  QWidget& window_;
  QString ownCaption_;
  std::optional<std::chrono::steady_clock::time_point> closeRequestedAt_;
};

class BusyScope {
 public:
  explicit BusyScope(Busy& busy) : busy_(busy) { busy_.begin(); }
  ~BusyScope() { busy_.end(); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  Busy& busy_;
};

// Handles the events that are waiting: painting, window-system requests such as a
// close, and input, which a busy window drops.
void DoEvents();

// Waits up to `milliseconds` for the process to end, then handles the events that are
// waiting. True once the process has ended.
bool WaitForProcessDoingEvents(sys::Process& process, int milliseconds);

}  // namespace runtime
