#pragma once
// A window that is busy keeps painting but takes no input.

namespace runtime {

// While one lives: the busy cursor shows and keyboard and mouse input is dropped.
class BusyScope {
 public:
  BusyScope();
  ~BusyScope();
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
};

// Handles the events that are waiting: painting, window-system requests and, outside
// a BusyScope, input.
void DoEvents();

}  // namespace runtime
