#pragma once
#include "native_string.h"

namespace sys {

// The form of an existing file's path that stands unquoted as one word on a command
// line: the absolute path, each blank, tab, line break, backslash and quote escaped by
// a backslash. Empty when there is no such file.
NativeString GetShortPathName(const NativeString& longPath);

}  // namespace sys
