// Starting a command line on Windows, waiting for it while the window's messages are
// pumped, and reading what it writes to stderr through a pipe. Each process runs in a
// job of its own, which ends it, and whatever it started, when the job's last handle
// closes: when the process is closed, or when this program ends, however it ends.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "os.h"
#include "process.h"
#include "program_search.h"
#include "win32.h"

namespace sys {

struct Process::Handles {
  HANDLE job = nullptr;
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
    if (job) CloseHandle(job);
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

using win32::UniqueHandle;

// The write end of a pipe whose read end, `handles.errorPipe`, this process reads with
// overlapped I/O; anonymous pipes cannot be read so, so it is a named one. Null when it
// cannot be made.
UniqueHandle MakeErrorPipe(Process::Handles& handles) {
  static std::atomic<unsigned> serial{0};
  const NativeString name =
      L"\\\\.\\pipe\\pellicar-stderr-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(serial++);
  handles.errorPipe =
      CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                       PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 65536, 0, nullptr);
  if (handles.errorPipe == INVALID_HANDLE_VALUE) return nullptr;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE writeEnd = CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr);
  return UniqueHandle(writeEnd == INVALID_HANDLE_VALUE ? nullptr : writeEnd);
}

// A job that ends its processes when its last handle closes, and in which a crash ends
// a process quietly instead of waiting in a dialog.
HANDLE MakeJob() {
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  if (job && SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) return job;
  const DWORD error = GetLastError();
  if (job) CloseHandle(job);
  SetLastError(error);
  return nullptr;
}

// An inheritable copy of one of this process's standard handles; null when it has none
// that can be passed on, and the child then has none either.
UniqueHandle InheritableCopy(DWORD which) {
  const HANDLE own = GetStdHandle(which);
  HANDLE copy = nullptr;
  if (!own || own == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
    return nullptr;
  return UniqueHandle(copy);
}

// Makes the started process inherit the listed handles and none other of this process.
class InheritedHandles {
 public:
  InheritedHandles() = default;
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;
  ~InheritedHandles() {
    if (list_) DeleteProcThreadAttributeList(list_);
  }

  // Null handles stand for none and are left out.
  bool set(std::initializer_list<HANDLE> handles) {
    std::copy_if(handles.begin(), handles.end(), std::back_inserter(handles_), [](HANDLE handle) { return handle; });
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    const auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return false;
    list_ = list;
    return UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                     handles_.size() * sizeof(HANDLE), nullptr, nullptr);
  }
  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

 private:
  std::vector<HANDLE> handles_;  // the list points into it
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// While one lives, this process's error mode, which a process it starts inherits, asks
// for no dialog: none for a crash, for a drive without a medium or a file not found.
class QuietChildErrors {
 public:
  QuietChildErrors() : old_(GetErrorMode()) {
    SetErrorMode(old_ | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  }
  ~QuietChildErrors() { SetErrorMode(old_); }
  QuietChildErrors(const QuietChildErrors&) = delete;
  QuietChildErrors& operator=(const QuietChildErrors&) = delete;

 private:
  UINT old_;
};

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

// The program a command line names, as CreateProcessW reads it: up to the first blank,
// or between quotes.
NativeString ProgramOf(NativeStringView commandLine) {
  if (commandLine.starts_with(L'"')) return NativeString(commandLine.substr(1, commandLine.find(L'"', 1) - 1));
  return NativeString(commandLine.substr(0, commandLine.find_first_of(L" \t")));
}

Process NotStarted(DWORD error) {
  auto handles = std::make_unique<Process::Handles>();
  handles->result.startError = os::ErrorCode(static_cast<int>(error));
  handles->ended = true;
  return Process(std::move(handles));
}

}  // namespace

// Everything that can fail is done before the process runs: it is created suspended, put
// in its job, and only then let go.
Process StartProcess(const NativeString& commandLine) {
  const NativeString program = FindProgram(ProgramOf(commandLine));
  if (program.empty()) return NotStarted(ERROR_FILE_NOT_FOUND);
  auto handles = std::make_unique<Process::Handles>();
  const UniqueHandle errorEnd = MakeErrorPipe(*handles);
  if (!errorEnd || !(handles->readDone = CreateEventW(nullptr, TRUE, FALSE, nullptr)) || !(handles->job = MakeJob()))
    return NotStarted(GetLastError());
  const UniqueHandle input = InheritableCopy(STD_INPUT_HANDLE), output = InheritableCopy(STD_OUTPUT_HANDLE);
  InheritedHandles inheritance;
  if (!inheritance.set({errorEnd.get(), input.get(), output.get()})) return NotStarted(GetLastError());

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.StartupInfo.wShowWindow = SW_SHOWMINNOACTIVE;  // minimised; the focus stays in the window
  startup.StartupInfo.hStdInput = input.get();
  startup.StartupInfo.hStdOutput = output.get();
  startup.StartupInfo.hStdError = errorEnd.get();
  startup.lpAttributeList = inheritance.list();
  // No console window of its own for a console program, so that none flashes per file.
  const DWORD flags = NORMAL_PRIORITY_CLASS | CREATE_NO_WINDOW | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT;
  PROCESS_INFORMATION started{};
  NativeString line = commandLine;  // CreateProcessW may write into it
  DWORD error = 0;
  {
    QuietChildErrors quiet;
    // By its full path: Windows' own search would look in the current directory first.
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                        &startup.StartupInfo, &started))
      error = GetLastError();
  }
  if (error) return NotStarted(error);
  const UniqueHandle thread(started.hThread);
  handles->process = started.hProcess;
  if (!AssignProcessToJobObject(handles->job, started.hProcess) || ResumeThread(started.hThread) == DWORD(-1)) {
    error = GetLastError();
    TerminateProcess(started.hProcess, kStoppedExitCode);  // it never ran
    return NotStarted(error);
  }
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
    // Also for a message that is waiting already, seen but not yet taken from the queue.
    const DWORD woke = MsgWaitForMultipleObjectsEx(count, waits, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
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
  handles->stopped = TerminateJobObject(handles->job, kStoppedExitCode);
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
