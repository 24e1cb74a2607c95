#pragma once
// What each backend (the *_linux.cpp and *_win32.cpp files) gives the common files:
// the operating system's calls and facts, nothing more. Not for use outside system/.
#include <functional>
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

enum class EntryKind { kFile, kDirectory };

// The names in `directory` of the entries of kind `wanted` (links count as what they
// point to) that `accept` takes, hidden and system entries left out, in no set order.
std::vector<NativeString> ReadDirectory(const NativeString& directory, EntryKind wanted,
                                        const std::function<bool(NativeStringView)>& accept);

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
