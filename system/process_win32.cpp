// Starting the converter on Windows: CreateProcessW with the system's own program search,
// its window minimised without taking the focus; the wait wakes for the caller's window
// messages as well, so that the window can pump them.
#include <windows.h>

#include "os.h"
#include "process.h"

#undef CreateProcess  // <windows.h> names CreateProcessW so; ours is sys::CreateProcess

namespace sys {
namespace {

HANDLE HandleOf(const ProcessInformation& process) { return LongToHandle(process.processHandle); }

}  // namespace

ProcessInformation CreateProcess(const NativeString& commandLine, std::error_code& error) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINNOACTIVE;
  PROCESS_INFORMATION started{};
  NativeString writable = commandLine;  // CreateProcessW may write into it
  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                      &startup, &started)) {
    error = std::error_code(static_cast<int>(GetLastError()), std::system_category());
    return {};
  }
  CloseHandle(started.hThread);
  error.clear();
  return {static_cast<int>(started.dwProcessId), HandleToLong(started.hProcess), false};
}

bool WaitForProcess(ProcessInformation& process, int milliseconds) {
  if (process.processId == 0 || process.ended) return true;
  HANDLE handle = HandleOf(process);
  const DWORD timeout = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
  process.ended = MsgWaitForMultipleObjects(1, &handle, FALSE, timeout, QS_ALLINPUT) == WAIT_OBJECT_0;
  return process.ended;
}

void CloseProcess(ProcessInformation& process) {
  if (process.processId != 0) CloseHandle(HandleOf(process));
  process = {};
}

}  // namespace sys
