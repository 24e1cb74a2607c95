#pragma once
// The short form of a path, which stands on a command line as exactly one argument.
#include "native_string.h"

namespace sys {

// Linux: the absolute path of the existing file, each blank, tab, line break, backslash
// and quote escaped by a backslash. Windows: the 8.3 form (GetShortPathNameW), quoted by
// the C runtime's rules where the volume has no 8.3 names and the long path comes back.
// Empty when there is no such file; throws std::system_error on any other failure.
NativeString ShortPath(const NativeString& longPath);

}  // namespace sys
