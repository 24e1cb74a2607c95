#pragma once
// The standard streams of a command-line program, and how it ends.
#include <string>

namespace sys {

// How the command-line programs end: all done, something failed, a wrong command line.
inline constexpr int kAllDone = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kWrongCommandLine = 2;

// Whether stderr, or stdout, is a terminal (a console on Windows): where a progress line
// may show, and where no image goes.
bool ErrorIsTerminal();
bool OutputIsTerminal();

// Text for stderr or stdout: UTF-8, shown as such in a Windows console too. For stdout,
// empty when all of it was written, else the system's reason.
void PrintError(const std::string& text);
std::string PrintOutput(const std::string& text);

}  // namespace sys
