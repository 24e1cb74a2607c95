#pragma once
// A form that is busy keeps painting but takes no input.

namespace runtime {

class Form;

// While one lives: the busy cursor shows over the form and keyboard and mouse input
// made meanwhile is dropped, never replayed. A request to close the form still arrives.
class BusyScope {
 public:
  explicit BusyScope(Form& form);
  ~BusyScope();
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
};

// Handles the events that are waiting: painting, window-system requests and, outside
// a BusyScope, input.
void DoEvents();

}  // namespace runtime
