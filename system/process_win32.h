#pragma once
// What the Windows backends share about a started process beyond the system layer's
// interface: the handle the system signals when the process ends, for a caller that
// waits for it together with window messages.
#include <windows.h>

#include "process.h"

namespace sys {

// Null when nothing was started or the process has been closed.
HANDLE ProcessHandle(const Process& process);

}  // namespace sys
