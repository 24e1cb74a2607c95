#pragma once
// Starting a command line as a new process, waiting for its end while reading what it
// writes to stderr, learning how it ended, and letting it go.
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "native_string.h"

namespace sys {

// How much of a process's stderr is kept; the rest is read and dropped.
inline constexpr std::size_t kKeptErrorOutput = 4096;

struct ProcessResult {
  enum class Ending {
    NotStarted,  // nothing ran: startError says why
    Exited,      // it returned exitCode
    Crashed,     // the system ended it: crash names how, such as "SIGSEGV"
    Unknown,     // it ended, but how could not be learnt
  };
  Ending ending = Ending::NotStarted;
  std::error_code startError;
  int exitCode = 0;
  std::string crash;
  std::string errorOutput;  // the first kKeptErrorOutput bytes it wrote to stderr

  bool succeeded() const { return ending == Ending::Exited && exitCode == 0; }
};

// A process started by StartProcess. It owns the handles the backend keeps for it and
// releases them when closed or destroyed; destroying it does not wait for the process.
// On Windows the process is tied to it: closing or destroying it ends what the process
// started and left running, and the process itself if it still runs.
class Process {
 public:
  struct Handles;  // what the backend keeps

  Process();
  explicit Process(std::unique_ptr<Handles> handles);
  ~Process();
  Process(Process&&) noexcept;
  Process& operator=(Process&&) noexcept;

  Handles* handles() const { return handles_.get(); }  // null once closed

 private:
  std::unique_ptr<Handles> handles_;
};

// Starts the program named by the command line's first word, found by FindProgram
// (this program's own folder, then PATH, never the current directory), with the rest as
// its arguments, in the current directory, with this process's environment, stdin and
// stdout, and its stderr into a pipe that WaitForProcess reads. On Linux the line is
// split by SplitCommandLine; the program runs in a process group of its own and gets
// SIGTERM when the thread that started it ends, so that it never outlives a program
// that is killed. On Windows the line goes to the program as it is, to be split by the
// C runtime's rules; the program's window opens minimised without taking the focus, a
// console program gets no console window, the process inherits no handle but its
// standard ones, and a crash or a missing medium ends it without a dialog.
// When nothing can be started the process counts as ended at once, its result
// NotStarted with the reason.
Process StartProcess(const NativeString& commandLine);

// Waits up to `milliseconds` (negative: without limit) for the process to end, reading
// its stderr meanwhile, at least every few milliseconds, so that a process that writes
// a lot is never held up for long. True once it has ended. On Windows it also returns,
// false, as soon as a message for this thread's windows waits (also one already seen
// but not yet handled), so that the caller handles it without delay.
bool WaitForProcess(Process& process, int milliseconds);

// Stops the process, if it still runs; WaitForProcess then sees it end. On Linux the
// first call asks it and what it started (its process group) to end (SIGTERM), which
// lets it tidy up; a call once kStopGrace has passed since ends them outright (SIGKILL),
// so the caller calls again until the process has ended. Once it has been asked,
// whatever of its group is left when it ends goes with it. On Windows the process and
// what it started are ended outright at once.
void StopProcess(Process& process);
inline constexpr std::chrono::milliseconds kStopGrace{1000};

// How the process ended (WaitForProcess has returned true) and what it said; releases
// what StartProcess holds for it.
ProcessResult CloseProcess(Process& process);

}  // namespace sys
