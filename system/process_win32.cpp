// Starting a command line on Windows, waiting for it while the window's messages are
// pumped, and reading what it writes to stderr through a pipe.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "os.h"
#include "process.h"
#include "win32.h"

namespace sys {

struct Process::Handles {
  HANDLE process = nullptr;
  HANDLE errorPipe = INVALID_HANDLE_VALUE;  // our end of the converter's stderr, read overlapped
  HANDLE readDone = nullptr;                // set when a read of errorPipe completes
  OVERLAPPED overlapped{};
  char buffer[4096];
  bool reading = false;  // a read is in flight
  bool stopped = false;  // ended by StopProcess
  bool ended = false;
  ProcessResult result;

  Handles() = default;
  Handles(const Handles&) = delete;
  Handles& operator=(const Handles&) = delete;
  ~Handles() {
    CancelRead();
    if (errorPipe != INVALID_HANDLE_VALUE) CloseHandle(errorPipe);
    if (readDone) CloseHandle(readDone);
    if (process) CloseHandle(process);
  }

  // The read in flight is cancelled and waited for, so that it writes into nothing
  // that is gone.
  void CancelRead() {
    if (!reading) return;
    DWORD got = 0;
    CancelIoEx(errorPipe, &overlapped);
    GetOverlappedResult(errorPipe, &overlapped, &got, TRUE);
    reading = false;
  }

  void StartRead() {
    ResetEvent(readDone);
    overlapped = OVERLAPPED{};
    overlapped.hEvent = readDone;
    reading = ReadFile(errorPipe, buffer, sizeof buffer, nullptr, &overlapped) || GetLastError() == ERROR_IO_PENDING;
  }

  // Takes a finished read, keeping the first bytes only, and starts the next.
  void TakeRead() {
    DWORD got = 0;
    reading = false;
    if (!GetOverlappedResult(errorPipe, &overlapped, &got, FALSE)) return;  // the pipe is closed
    const std::size_t room = kKeptErrorOutput - std::min(kKeptErrorOutput, result.errorOutput.size());
    result.errorOutput.append(buffer, std::min<std::size_t>(got, room));
    StartRead();
  }

  // What the process wrote before it ended and is still in the pipe; a process it
  // started may hold the pipe open, so nothing more is waited for.
  void TakeWhatIsLeft() {
    while (reading && WaitForSingleObject(readDone, 0) == WAIT_OBJECT_0) TakeRead();
    CancelRead();
  }
};

namespace {

constexpr UINT kStoppedExitCode = 0xC000013A;  // what Windows gives a process ended by Ctrl+C

struct Pipe {
  HANDLE readEnd = INVALID_HANDLE_VALUE;
  HANDLE writeEnd = INVALID_HANDLE_VALUE;
};

// A pipe whose read end this process reads with overlapped I/O and whose write end the
// child inherits. Anonymous pipes cannot be read overlapped, so it is a named one.
bool MakeErrorPipe(Pipe& pipe) {
  static std::atomic<unsigned> serial{0};
  const NativeString name =
      L"\\\\.\\pipe\\pellicar-stderr-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(serial++);
  pipe.readEnd =
      CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                       PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 65536, 0, nullptr);
  if (pipe.readEnd == INVALID_HANDLE_VALUE) return false;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  pipe.writeEnd = CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr);
  return pipe.writeEnd != INVALID_HANDLE_VALUE;
}

std::string CrashName(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: return "access violation";
    case EXCEPTION_STACK_OVERFLOW: return "stack overflow";
    case EXCEPTION_ILLEGAL_INSTRUCTION: return "illegal instruction";
    case EXCEPTION_INT_DIVIDE_BY_ZERO: return "division by zero";
    case 0xC0000409: return "stack buffer overrun or abort";
    case kStoppedExitCode: return "stopped";
    default: {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
      return std::string("exception ") + hex;
    }
  }
}

// Exit codes of 0xC0000000 and above are the system's: an exception ended the process.
void RecordEnding(Process::Handles& handles) {
  DWORD code = 0;
  ProcessResult& result = handles.result;
  if (!GetExitCodeProcess(handles.process, &code)) {
    result.ending = ProcessResult::Ending::Unknown;
  } else if (code >= 0xC0000000u || handles.stopped) {
    result.ending = ProcessResult::Ending::Crashed;
    result.crash = CrashName(handles.stopped ? kStoppedExitCode : code);
  } else {
    result.ending = ProcessResult::Ending::Exited;
    result.exitCode = static_cast<int>(code);
  }
  handles.ended = true;
}

Process NotStarted(DWORD error) {
  auto handles = std::make_unique<Process::Handles>();
  handles->result.startError = os::ErrorCode(static_cast<int>(error));
  handles->ended = true;
  return Process(std::move(handles));
}

}  // namespace

Process StartProcess(const NativeString& commandLine) {
  Pipe pipe;
  if (!MakeErrorPipe(pipe)) {
    const DWORD error = GetLastError();
    if (pipe.readEnd != INVALID_HANDLE_VALUE) CloseHandle(pipe.readEnd);
    return NotStarted(error);
  }
  auto handles = std::make_unique<Process::Handles>();
  handles->errorPipe = pipe.readEnd;
  handles->readDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_SHOWMINNOACTIVE;  // minimised; the focus stays in the window
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = pipe.writeEnd;
  PROCESS_INFORMATION started{};
  NativeString line = commandLine;  // CreateProcessW may write into it
  // No application name: Windows takes the program from the command line and searches
  // for it, in this program's own folder first.
  const BOOL ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                                 &startup, &started);
  const DWORD error = GetLastError();
  CloseHandle(pipe.writeEnd);  // the child holds its own copy
  if (!ok || !handles->readDone) return NotStarted(error);
  CloseHandle(started.hThread);
  handles->process = started.hProcess;
  handles->StartRead();
  return Process(std::move(handles));
}

bool WaitForProcess(Process& process, int milliseconds) {
  Process::Handles* handles = process.handles();
  if (!handles || handles->ended) return true;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    DWORD timeout = INFINITE;
    if (milliseconds >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      timeout = static_cast<DWORD>(std::max<long long>(left, 0));
    }
    const HANDLE waits[] = {handles->process, handles->readDone};
    const DWORD count = handles->reading ? 2 : 1;
    const DWORD woke = MsgWaitForMultipleObjects(count, waits, FALSE, timeout, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0) {
      handles->TakeWhatIsLeft();
      RecordEnding(*handles);
      return true;
    }
    if (woke == WAIT_OBJECT_0 + 1 && count == 2) {
      handles->TakeRead();
      continue;
    }
    if (woke == WAIT_FAILED) {
      handles->TakeWhatIsLeft();
      handles->result.ending = ProcessResult::Ending::Unknown;
      handles->ended = true;
      return true;
    }
    return false;  // a window message waits to be handled, or the time is up
  }
}

void StopProcess(Process& process) {
  Process::Handles* handles = process.handles();
  if (!handles || handles->ended) return;
  handles->stopped = TerminateProcess(handles->process, kStoppedExitCode);
}

ProcessResult CloseProcess(Process& process) {
  Process::Handles* handles = process.handles();
  if (!handles) return {};
  ProcessResult result = std::move(handles->result);
  process = Process();
  return result;
}

Process::Process() = default;
Process::Process(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
Process::~Process() = default;
Process::Process(Process&&) noexcept = default;
Process& Process::operator=(Process&&) noexcept = default;

}  // namespace sys
