#pragma once
// Starting a command line as a new process, waiting for it and letting it go.
#include <string_view>
#include <system_error>
#include <vector>

#include "native_string.h"

namespace sys {

struct ProcessInformation {
  int processId = 0;       // 0: no process was started
  int processHandle = -1;  // a descriptor that becomes readable when the process ends
  bool ended = false;      // the process has ended and been reaped
};

// Starts the program named by the command line's first word, found by FindProgram,
// with the words as its arguments, in the current directory, with this process's
// environment and inheritable descriptors. On failure nothing is started, the result
// has processId 0 and `error` says why.
ProcessInformation CreateProcess(const NativeString& commandLine, std::error_code& error);

// Waits up to `milliseconds` (negative: without limit) for the process to end.
// True once it has ended, and at once when no process was started.
bool WaitForProcess(ProcessInformation& process, int milliseconds);

// Releases what CreateProcess holds for the process.
void CloseProcess(ProcessInformation& process);

// The words of a command line: split at blanks and tabs; a backslash keeps the next
// character as it is. Nothing else is special.
std::vector<NativeString> SplitCommandLine(std::string_view commandLine);

// Where a program named without a directory is found: the folder of this executable,
// then the current directory, then each folder of PATH. A name with a directory part
// is taken as it is. Empty when no executable file is found.
NativeString FindProgram(const NativeString& name);

}  // namespace sys
