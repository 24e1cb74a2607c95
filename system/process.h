#pragma once
// Starting a command line as a new process, waiting for its end while reading what it
// writes to stderr, learning how it ended, and letting it go.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
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
// releases them when closed or destroyed; destroying it neither waits for nor stops
// the process.
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

// Starts the program named by the command line's first word, found by FindProgram,
// with the words as its arguments, in the current directory, with this process's
// environment, stdin and stdout, and its stderr into a pipe that WaitForProcess reads.
// When nothing can be started the process counts as ended at once, its result
// NotStarted with the reason.
Process StartProcess(const NativeString& commandLine);

// Waits up to `milliseconds` (negative: without limit) for the process to end, reading
// its stderr meanwhile, at least every few milliseconds, so that a process that writes
// a lot is never held up for long. True once it has ended.
bool WaitForProcess(Process& process, int milliseconds);

// Ends the process outright, if it still runs; WaitForProcess then sees it end.
void StopProcess(Process& process);

// How the process ended (WaitForProcess has returned true) and what it said; releases
// what StartProcess holds for it.
ProcessResult CloseProcess(Process& process);

// The words of a command line: split at blanks and tabs; a backslash keeps the next
// character as it is. Nothing else is special.
std::vector<NativeString> SplitCommandLine(std::string_view commandLine);

// Where a program named without a directory is found: the folder of this executable,
// then the current directory, then each folder of PATH. A name with a directory part
// is taken as it is. Empty when no executable file is found.
NativeString FindProgram(const NativeString& name);

}  // namespace sys
