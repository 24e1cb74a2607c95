#pragma once
// What each backend (the *_linux.cpp and *_win32.cpp files) gives the common files:
// the operating system's calls and facts, nothing more. Not for use outside system/.
#include <system_error>
#include <vector>

#include "drives.h"
#include "native_string.h"

namespace sys::os {

// A failed call on `subject` (a path, or what was asked for): std::system_error with
// the system's own code and message. The code is the last error: errno, GetLastError.
[[noreturn]] void ThrowLastError(NativeStringView subject);
// The system's own error `code` (an errno value, a GetLastError value) in its category.
std::error_code ErrorCode(int code);
[[noreturn]] void Throw(std::error_code code, NativeStringView subject);

// Whether `code` says that a drive cannot be read now: no medium, not ready, stale.
bool MeansDriveNotReady(const std::error_code& code);

enum class EntryKind { kFile, kDirectory, kOther };

// An entry of a folder as every listing sees it, with its kind; a link (a junction on
// Windows) is of the kind it leads to, a dangling one of none.
struct VisibleEntry {
  NativeString name;
  EntryKind kind = EntryKind::kOther;
  bool link = false;
};
// The entries of `folder` but "." and "..", hidden ones left out (a leading dot on
// POSIX; the hidden or system attribute on Windows): 0, or the system's error code. On
// Windows every entry is matched against "*": the system's own matching also tries each
// entry's 8.3 name, so that "*.m32" would take "a.m32x" (short name A~1.M32). On POSIX
// only links, and entries of file systems that do not say their kind, cost a stat call.
int ListVisible(const NativeString& folder, std::vector<VisibleEntry>& entries);
#ifndef _WIN32
// The same for the folder `path` names from the open folder `at`.
int ListVisibleAt(int at, const char* path, std::vector<VisibleEntry>& entries);
#endif

// The drives as the system reports them.
std::vector<Drive> SystemDrives();

// The program search's facts: whether `path` names a file that can be run, the folder of
// this program's executable (empty when it cannot be learnt), and PATH's value.
bool IsRunnableFile(const NativeString& path);
NativeString OwnFolder();
NativeString PathVariable();
#ifdef _WIN32
inline constexpr NativeChar kSearchPathSeparator = L';';
#else
inline constexpr NativeChar kSearchPathSeparator = ':';
#endif

// The directory the system keeps for `drive`: on Linux the process's current directory,
// wherever it lies; on Windows the drive's own current directory.
NativeString CurrentDirectoryKeptFor(const Drive& drive);

}  // namespace sys::os
