// Errors on Windows: GetLastError's codes, with the system's own text in UTF-8.
#include <windows.h>

#include <cwctype>

#include "os.h"

namespace sys::os {
namespace {

class Win32Errors : public std::error_category {
 public:
  const char* name() const noexcept override { return "win32"; }

  std::string message(int code) const override {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text, length);
    LocalFree(text);
    while (!message.empty() && (std::iswspace(message.back()) || message.back() == L'.')) message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : ToUtf8(FromNative(message));
  }

  // By the standard library's own reading of Windows codes as std::errc.
  std::error_condition default_error_condition(int code) const noexcept override {
    return std::system_category().default_error_condition(code);
  }
};

const std::error_category& Win32Category() {
  static const Win32Errors category;
  return category;
}

}  // namespace

std::error_code ErrorCode(int code) { return {code, Win32Category()}; }

void ThrowLastError(NativeStringView subject) { Throw(ErrorCode(static_cast<int>(GetLastError())), subject); }

bool MeansDriveNotReady(const std::error_code& code) {
  if (code.category() != Win32Category() && code.category() != std::system_category()) return false;
  switch (code.value()) {
    case ERROR_NOT_READY:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_MEDIA_CHANGED:
    case ERROR_UNRECOGNIZED_MEDIA:
    case ERROR_UNRECOGNIZED_VOLUME:
    case ERROR_DEV_NOT_EXIST: return true;
    default: return false;
  }
}

}  // namespace sys::os
