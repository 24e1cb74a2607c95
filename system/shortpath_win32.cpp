// The short form on Windows: the 8.3 path, or the long path quoted where the volume
// keeps no 8.3 names.
#include "command_line.h"
#include "os.h"
#include "shortpath.h"
#include "win32.h"

namespace sys {
namespace {

bool MeansNoSuchFile(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
         error == ERROR_BAD_PATHNAME || error == ERROR_DIRECTORY;
}

}  // namespace

NativeString ShortPath(const NativeString& longPath) {
  if (longPath.empty()) return {};
  const win32::QuietDriveErrors quiet;
  const NativeString full = win32::Filled(
      [&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(longPath.c_str(), size, buffer, nullptr); });
  if (full.empty()) os::ThrowLastError(longPath);
  const NativeString shortForm =
      win32::Filled([&](wchar_t* buffer, DWORD size) { return GetShortPathNameW(full.c_str(), buffer, size); });
  if (shortForm.empty()) {
    if (MeansNoSuchFile(GetLastError())) return {};
    os::ThrowLastError(longPath);
  }
  return QuotedAsOneArgument(shortForm);
}

}  // namespace sys
