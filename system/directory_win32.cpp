// Listings and the current directory on Windows, through the wide calls.
#include "directory.h"
#include "os.h"
#include "win32.h"

namespace sys {
namespace {

constexpr DWORD kHiddenOrSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool IsDotOrDotDot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

bool IsDirectory(const NativeString& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Every entry, matched against "*": the system's own matching also tries each entry's
// 8.3 name, so that "*.m32" would take "a.m32x" (whose short name is A~1.M32).
win32::FindHandle FindFirst(const NativeString& directory, WIN32_FIND_DATAW& found) {
  const NativeString everything = JoinPath(directory, L"*");
  win32::FindHandle find(FindFirstFileExW(everything.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                          FIND_FIRST_EX_LARGE_FETCH));
  if (find.get() != INVALID_HANDLE_VALUE) return find;
  find.release();
  const DWORD error = GetLastError();
  // An empty drive root has not even "." and ".." to find.
  if (error == ERROR_FILE_NOT_FOUND && IsDirectory(directory)) return nullptr;
  SetLastError(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
  os::ThrowLastError(directory);
}

}  // namespace

NativeString CurrentDirectory() {
  NativeString directory =
      win32::Filled([](wchar_t* buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); });
  if (directory.empty()) os::ThrowLastError(L"the current directory");
  return directory;
}

namespace os {

std::vector<NativeString> ReadDirectory(const NativeString& directory, EntryKind wanted,
                                        const std::function<bool(NativeStringView)>& accept) {
  const win32::QuietDriveErrors quiet;
  WIN32_FIND_DATAW found{};
  const win32::FindHandle find = FindFirst(directory, found);
  std::vector<NativeString> names;
  if (!find) return names;
  do {
    const bool isDirectory = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    if (IsDotOrDotDot(found.cFileName) || (found.dwFileAttributes & kHiddenOrSystem) ||
        isDirectory != (wanted == EntryKind::kDirectory) || !accept(found.cFileName))
      continue;
    names.emplace_back(found.cFileName);
  } while (FindNextFileW(find.get(), &found));
  if (GetLastError() != ERROR_NO_MORE_FILES) ThrowLastError(directory);
  return names;
}

}  // namespace os
}  // namespace sys
