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

}  // namespace

NativeString CurrentDirectory() {
  NativeString directory =
      win32::Filled([](wchar_t* buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); });
  if (directory.empty()) os::ThrowLastError(L"the current directory");
  return directory;
}

namespace os {

int ListVisible(const NativeString& folder, std::vector<VisibleEntry>& entries) {
  const win32::QuietDriveErrors quiet;
  WIN32_FIND_DATAW found{};
  win32::FindHandle find(FindFirstFileExW(JoinPath(folder, L"*").c_str(), FindExInfoBasic, &found,
                                          FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (find.get() == INVALID_HANDLE_VALUE) {
    find.release();
    const DWORD error = GetLastError();
    // An empty drive root has not even "." and ".." to find.
    if (error == ERROR_FILE_NOT_FOUND && IsDirectory(folder)) return 0;
    return static_cast<int>(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
  }
  do {
    const DWORD attributes = found.dwFileAttributes;
    if (IsDotOrDotDot(found.cFileName) || (attributes & kHiddenOrSystem)) continue;
    const bool directory = attributes & FILE_ATTRIBUTE_DIRECTORY;
    entries.push_back({found.cFileName, directory ? EntryKind::kDirectory : EntryKind::kFile,
                       (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  } while (FindNextFileW(find.get(), &found));
  return GetLastError() == ERROR_NO_MORE_FILES ? 0 : static_cast<int>(GetLastError());
}

}  // namespace os
}  // namespace sys
