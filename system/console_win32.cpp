// The standard streams on Windows: a console is written in UTF-16, anything else in UTF-8.
#include <windows.h>

#include "console.h"
#include "native_string.h"
#include "os.h"

namespace sys {
namespace {

bool IsConsole(DWORD stream) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(stream), &mode);
}

bool Print(DWORD stream, const std::string& text) {
  const HANDLE handle = GetStdHandle(stream);
  DWORD written = 0;
  if (IsConsole(stream)) {
    const std::wstring wide = ToNative(FromUtf8(text));
    return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) &&
           written == wide.size();
  }
  return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

}  // namespace

bool ErrorIsTerminal() { return IsConsole(STD_ERROR_HANDLE); }
bool OutputIsTerminal() { return IsConsole(STD_OUTPUT_HANDLE); }

void PrintError(const std::string& text) { Print(STD_ERROR_HANDLE, text); }

std::string PrintOutput(const std::string& text) {
  if (Print(STD_OUTPUT_HANDLE, text)) return {};
  return os::ErrorCode(static_cast<int>(GetLastError())).message();
}

}  // namespace sys
