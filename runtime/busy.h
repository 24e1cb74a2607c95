#pragma once
// A form that is busy keeps painting but takes no input, and waits with its closing
// until the work in hand is done.
#include <chrono>
#include <optional>
#include <string>

namespace sys {
class Process;
}

namespace runtime {

class Form;

// The busy state of one form. While a BusyScope holds it:
// - the busy cursor shows;
// - keyboard and mouse input to every window is dropped, and never replayed later;
// - the caption may show progress, and the form's own caption comes back afterwards;
// - a request to close the form is held: closeRequested() tells the work in hand, and
//   the form closes when the scope ends. The request stays known until the next scope.
class Busy {
 public:
  explicit Busy(Form& form) : form_(form) {}
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;

  bool closeRequested() const { return closeRequestedAt_.has_value(); }
  // How long ago the form was asked to close; zero when it was not.
  std::chrono::milliseconds sinceCloseRequest() const;
  // The caption while busy.
  void setCaption(const std::u16string& caption);

 private:
  friend class BusyScope;
  friend class Form;
  void begin();
  void end();
  // A request to close the form arrived while busy.
  void holdClose();

  Form& form_;
  std::u16string ownCaption_;
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
// close, and input, which a busy form drops.
void DoEvents();

// Waits up to `milliseconds` for the process to end, then handles the events that are
// waiting. True once the process has ended.
bool WaitForProcessDoingEvents(sys::Process& process, int milliseconds);

}  // namespace runtime
