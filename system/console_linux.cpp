// The standard streams on Linux.
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "console.h"
#include "os.h"

namespace sys {

bool ErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }
bool OutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void PrintError(const std::string& text) { std::fputs(text.c_str(), stderr); }

std::string PrintOutput(const std::string& text) {
  if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return {};
  return os::ErrorCode(errno).message();
}

}  // namespace sys
