// Processes on Linux: vfork and exec into a process group of its own, a pidfd to wait
// on, stderr through a pipe.
#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "command_line.h"
#include "directory.h"
#include "os.h"
#include "program_search.h"

extern char** environ;

namespace sys {
namespace {

constexpr int kErrorPipeCapacity = 1 << 20;

int OpenEndWatch(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

void CloseDescriptor(int& descriptor) {
  if (descriptor >= 0) close(descriptor);
  descriptor = -1;
}

// Everything the child needs, made before it exists: until it runs the program it
// shares the window's memory and may make only async-signal-safe calls.
struct ChildPlan {
  const char* program;
  char* const* argv;
  int errorOutput;  // becomes its stderr
  int report;       // the write end of a close-on-exec pipe: errno when exec fails
  pid_t parent;
};

[[noreturn]] void ReportAndExit(int report, int error) {
  (void)!write(report, &error, sizeof error);
  _exit(127);
}

// In its own process group, so that stopping it stops what it starts too; told to end
// when the thread that started it ends, which for the window is the window itself.
// SIGTERM rather than SIGKILL, so that the converter can remove its temporary file.
[[noreturn]] void BecomeProgram(const ChildPlan& plan) {
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) {  // no handler of the window's may run in here
    struct sigaction action {};
    if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN && action.sa_handler != SIG_DFL)
      sigaction(signal, &defaults, nullptr);
  }
  if (setpgid(0, 0) != 0 || prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) ReportAndExit(plan.report, errno);
  if (getppid() != plan.parent) _exit(127);  // the window ended before the line above
  const bool moved = plan.errorOutput == STDERR_FILENO ? fcntl(STDERR_FILENO, F_SETFD, 0) == 0
                                                       : dup2(plan.errorOutput, STDERR_FILENO) >= 0;
  if (!moved) ReportAndExit(plan.report, errno);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);  // whatever the window's thread blocks
  execve(plan.program, plan.argv, environ);
  ReportAndExit(plan.report, errno);
}

// vfork: a copy of the window's memory would cost time on every file of a batch.
pid_t Spawn(const NativeString& program, const std::vector<NativeString>& words, int errorOutput, int& error) {
  std::vector<char*> argv;
  for (const auto& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  std::array<int, 2> report{};
  if (pipe2(report.data(), O_CLOEXEC) != 0) {
    error = errno;
    return 0;
  }
  const ChildPlan plan{program.c_str(), argv.data(), errorOutput, report[1], getpid()};
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);  // none may reach the child before its handlers are reset
  const pid_t pid = vfork();
  if (pid == 0) BecomeProgram(plan);
  error = pid < 0 ? errno : 0;
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  close(report[1]);
  if (pid > 0 && read(report[0], &error, sizeof error) == sizeof error) {
    waitpid(pid, nullptr, 0);  // it has exited already
  }
  close(report[0]);
  return error == 0 ? pid : 0;
}

std::string SignalName(int signal) {
  const char* abbreviation = sigabbrev_np(signal);
  return abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal);
}

}  // namespace

struct Process::Handles {
  pid_t id = 0;
  int endWatch = -1;     // becomes readable when the process ends; -1 on kernels without one
  int errorOutput = -1;  // the read end of its stderr, until that reaches its end
  bool ended = false;
  std::optional<std::chrono::steady_clock::time_point> askedToStop;
  ProcessResult result;

  ~Handles() {
    CloseDescriptor(endWatch);
    CloseDescriptor(errorOutput);
  }
};

namespace {

// Reads what is there now; false when nothing more will come now.
bool ReadErrorOutput(Process::Handles& process) {
  std::array<char, 16384> chunk;
  ssize_t count;
  do {
    count = read(process.errorOutput, chunk.data(), chunk.size());
  } while (count < 0 && errno == EINTR);
  if (count < 0 && errno == EAGAIN) return false;
  if (count <= 0) {
    CloseDescriptor(process.errorOutput);  // its end, or a pipe that cannot be read
    return false;
  }
  auto& kept = process.result.errorOutput;
  kept.append(chunk.data(), std::min(static_cast<std::size_t>(count), kKeptErrorOutput - kept.size()));
  return true;
}

// What the pipe holds now, but not for ever: a process may write as fast as it is read.
void ReadAvailableErrorOutput(Process::Handles& process) {
  constexpr int kMostReads = 64;
  for (int i = 0; i < kMostReads && process.errorOutput >= 0 && ReadErrorOutput(process); ++i) {
  }
}

// After the end. Something the process left running may hold the pipe open and go on
// writing, so this reads what is there now and lets the pipe go.
void DrainErrorOutput(Process::Handles& process) {
  ReadAvailableErrorOutput(process);
  CloseDescriptor(process.errorOutput);
}

void RecordEnding(Process::Handles& process, pid_t reaped, int status) {
  auto& result = process.result;
  if (reaped < 0) {
    result.ending = ProcessResult::Ending::Unknown;  // not ours to wait for
  } else if (WIFEXITED(status)) {
    result.ending = ProcessResult::Ending::Exited;
    result.exitCode = WEXITSTATUS(status);
  } else {
    result.ending = ProcessResult::Ending::Crashed;
    result.crash = SignalName(WTERMSIG(status));
  }
}

// A process asked to stop takes its group with it when it ends, so that nothing it
// started lives on. Its end is seen before it is reaped: until then its group cannot
// be another's.
void EndWhatItLeft(const Process::Handles& process) {
  if (!process.askedToStop) return;
  siginfo_t info{};
  if (waitid(P_PID, static_cast<id_t>(process.id), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0)
    kill(-process.id, SIGKILL);
}

bool Reap(Process::Handles& process) {
  EndWhatItLeft(process);
  int status = 0;
  pid_t reaped;
  do {
    reaped = waitpid(process.id, &status, WNOHANG);
  } while (reaped < 0 && errno == EINTR);
  if (reaped == 0) return false;
  process.ended = true;
  RecordEnding(process, reaped, status);
  DrainErrorOutput(process);
  CloseDescriptor(process.endWatch);
  return true;
}

// Sleeps until the process ends or `milliseconds` have passed, then takes what it has
// written to stderr. Only the end wakes the sleep, so that a quick process costs one
// wake-up, not two (the pipe's end would come first); the pipe, made large, is read at
// least every kReadEveryMs, so a process that writes a lot is held up only briefly.
void SleepUntilEnd(Process::Handles& process, int milliseconds) {
  constexpr int kReadEveryMs = 10;
  constexpr int kLookAgainMs = 1;  // without a descriptor for the end
  const int longest = process.endWatch < 0 ? kLookAgainMs : kReadEveryMs;
  pollfd watch{process.endWatch, POLLIN, 0};
  poll(&watch, 1, milliseconds < 0 ? longest : std::min(milliseconds, longest));
  ReadAvailableErrorOutput(process);
}

Process NotStarted(std::error_code reason) {
  auto process = std::make_unique<Process::Handles>();
  process->ended = true;
  process->result.startError = reason;
  return Process(std::move(process));
}

std::error_code LastError() { return os::ErrorCode(errno); }

}  // namespace

Process::Process() = default;
Process::Process(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
Process::~Process() = default;
Process::Process(Process&&) noexcept = default;
Process& Process::operator=(Process&&) noexcept = default;

Process StartProcess(const NativeString& commandLine) {
  const auto words = SplitCommandLine(commandLine);
  const NativeString program = words.empty() ? NativeString() : FindProgram(words.front());
  if (program.empty()) return NotStarted(std::make_error_code(std::errc::no_such_file_or_directory));

  std::array<int, 2> pipeEnds{};
  if (pipe2(pipeEnds.data(), O_CLOEXEC) != 0) return NotStarted(LastError());
  auto process = std::make_unique<Process::Handles>();
  process->errorOutput = pipeEnds[0];
  fcntl(process->errorOutput, F_SETFL, O_NONBLOCK);  // the read end only: the child's stderr stays blocking
  fcntl(process->errorOutput, F_SETPIPE_SZ, kErrorPipeCapacity);  // where allowed
  int spawnError = 0;
  process->id = Spawn(program, words, pipeEnds[1], spawnError);
  close(pipeEnds[1]);
  if (process->id == 0) return NotStarted(os::ErrorCode(spawnError));
  process->endWatch = OpenEndWatch(process->id);
  return Process(std::move(process));
}

bool WaitForProcess(Process& process, int milliseconds) {
  auto* handles = process.handles();
  if (!handles || handles->ended) return true;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int wait = milliseconds < 0 ? -1 : static_cast<int>(std::max<decltype(left)>(left, 0));
    SleepUntilEnd(*handles, wait);
    if (Reap(*handles)) return true;
    if (wait == 0) return false;
  }
}

void StopProcess(Process& process) {
  auto* handles = process.handles();
  if (!handles || handles->ended || handles->id <= 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (!handles->askedToStop) {
    handles->askedToStop = now;
    kill(-handles->id, SIGTERM);
    kill(-handles->id, SIGCONT);  // a stopped process hears the request only once it runs
  } else if (now - *handles->askedToStop >= kStopGrace) {
    kill(-handles->id, SIGKILL);
  }
}

ProcessResult CloseProcess(Process& process) {
  Process closed = std::move(process);
  if (!closed.handles()) return {};
  return std::move(closed.handles()->result);
}

}  // namespace sys
