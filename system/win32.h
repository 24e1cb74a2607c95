#pragma once
// Helpers of the Win32 backend. Not for use outside system/.
#include <windows.h>

#include <memory>

#include "native_string.h"

namespace sys::win32 {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

// While one lives, a drive without a medium fails calls at once instead of asking the
// person to insert a disk.
class QuietDriveErrors {
 public:
  QuietDriveErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_); }
  ~QuietDriveErrors() { SetThreadErrorMode(old_, nullptr); }
  QuietDriveErrors(const QuietDriveErrors&) = delete;
  QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

 private:
  DWORD old_ = 0;
};

// The text a call of the form `DWORD call(wchar_t* buffer, DWORD size)` writes, where
// the call returns the length written or, when the buffer is too small, the size it
// needs. Empty when the call fails: GetLastError() says why.
template <class Call>
NativeString Filled(Call call) {
  NativeString text(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = call(text.data(), static_cast<DWORD>(text.size()));
    if (length == 0) return {};
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.resize(length);
  }
}

}  // namespace sys::win32
