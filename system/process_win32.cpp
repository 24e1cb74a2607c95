// Starting the converter on Windows: CreateProcessW with the system's own program search,
// its window minimised without taking the focus. For now it learns only the exit code:
// stderr is inherited, not read, and a crash shows as the exit code the system gives it.
#include "process_win32.h"

#include <memory>

namespace sys {

struct Process::Handles {
  HANDLE process = nullptr;
  std::error_code startError;
  bool ended = false;
};

Process::Process() = default;
Process::Process(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
Process::~Process() {
  if (handles_ && handles_->process) CloseHandle(handles_->process);
}
Process::Process(Process&&) noexcept = default;
Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Process dropped(std::move(*this));
    handles_ = std::move(other.handles_);
  }
  return *this;
}

namespace {

std::error_code StartError(DWORD error) {
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
    return std::make_error_code(std::errc::no_such_file_or_directory);
  return {static_cast<int>(error), std::system_category()};
}

}  // namespace

HANDLE ProcessHandle(const Process& process) { return process.handles() ? process.handles()->process : nullptr; }

Process StartProcess(const NativeString& commandLine) {
  auto handles = std::make_unique<Process::Handles>();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINNOACTIVE;
  PROCESS_INFORMATION started{};
  NativeString writable = commandLine;  // CreateProcessW may write into it
  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                      &startup, &started)) {
    handles->startError = StartError(GetLastError());
    handles->ended = true;
    return Process(std::move(handles));
  }
  CloseHandle(started.hThread);
  handles->process = started.hProcess;
  return Process(std::move(handles));
}

bool WaitForProcess(Process& process, int milliseconds) {
  Process::Handles* handles = process.handles();
  if (!handles || handles->ended) return true;
  const DWORD timeout = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
  handles->ended = WaitForSingleObject(handles->process, timeout) == WAIT_OBJECT_0;
  return handles->ended;
}

void StopProcess(Process& process) {
  if (HANDLE handle = ProcessHandle(process)) TerminateProcess(handle, 1);
}

ProcessResult CloseProcess(Process& process) {
  ProcessResult result;
  Process::Handles* handles = process.handles();
  if (!handles) return result;
  if (!handles->process) {
    result.startError = handles->startError;
  } else if (DWORD code = 0; handles->ended && GetExitCodeProcess(handles->process, &code)) {
    result.ending = ProcessResult::Ending::Exited;
    result.exitCode = static_cast<int>(code);
  } else {
    result.ending = ProcessResult::Ending::Unknown;
  }
  process = Process();
  return result;
}

}  // namespace sys
