#pragma once
// Linux only: where StartProcess finds a program. Windows searches by itself.
#include "native_string.h"

namespace sys {

// Where a program named without a directory is found: the folder of this executable,
// then each folder of PATH. Never the current directory, which may be any folder a
// person opened files from: so neither empty nor relative PATH entries, which the
// shell reads against it. A name with a directory part is taken as it is. Empty when
// no executable file is found.
NativeString FindProgram(const NativeString& name);

}  // namespace sys
