// Drives on Windows: the logical drives with their volume labels.
#include "drives.h"
#include "os.h"
#include "win32.h"

namespace sys {
namespace {

// The label of the volume in the drive; empty when it has none, or when the drive
// cannot be read now (an empty card reader, say): such a drive is listed all the same.
NativeString LabelOf(const NativeString& root) {
  wchar_t label[MAX_PATH + 1] = {};
  if (!GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0)) return {};
  return label;
}

}  // namespace

namespace os {

std::vector<Drive> SystemDrives() {
  const win32::QuietDriveErrors quiet;
  const NativeString roots =
      win32::Filled([](wchar_t* buffer, DWORD size) { return GetLogicalDriveStringsW(size, buffer); });
  if (roots.empty()) ThrowLastError(L"the logical drives");
  std::vector<Drive> drives;
  // "A:\<NUL>C:\<NUL>...": one root after another.
  for (std::size_t start = 0; start < roots.size();) {
    const std::size_t end = std::min(roots.find(L'\0', start), roots.size());
    if (end > start) {
      NativeString root = roots.substr(start, end - start);
      drives.push_back(Drive{root, LabelOf(root)});
    }
    start = end + 1;
  }
  return drives;
}

NativeString CurrentDirectoryKeptFor(const Drive& drive) {
  const NativeString letter = drive.root.substr(0, 2);  // "X:" stands for the drive's current directory
  NativeString directory = win32::Filled(
      [&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(letter.c_str(), size, buffer, nullptr); });
  if (directory.empty()) ThrowLastError(letter);
  return directory;
}

}  // namespace os
}  // namespace sys
