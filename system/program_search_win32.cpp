// What the program search asks of Windows.
#include <filesystem>

#include "os.h"
#include "win32.h"

namespace sys::os {

// A folder or a device is no program; what is left, CreateProcessW judges.
bool IsRunnableFile(const NativeString& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

// Read once, as on Linux. GetModuleFileNameW cuts a path that does not fit, saying so.
NativeString OwnFolder() {
  static const NativeString folder = [] {
    NativeString path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size())
      path.resize(path.size() * 2);
    path.resize(length);
    return path.empty() ? NativeString() : std::filesystem::path(path).parent_path().native();
  }();
  return folder;
}

NativeString PathVariable() {
  return win32::Filled([](wchar_t* buffer, DWORD size) { return GetEnvironmentVariableW(L"PATH", buffer, size); });
}

}  // namespace sys::os
