#pragma once
// Where StartProcess finds a program: FindProgram, one rule on every platform.
#include <string_view>

#include "native_string.h"

namespace sys {

// Where StartProcess looks for a program named without a folder, in words for a person.
inline constexpr std::string_view kProgramSearchPlaces = "beside the program or on PATH";

// Where a program named without a directory is found: the folder of this executable,
// then each folder of PATH. Never the current directory, which may be any folder a
// person opened files from: so neither empty nor relative PATH entries, which shells
// read against it (nor, on Windows, "C:dir" and "\dir", which are read against a
// drive's current directory or the current drive). A name with a directory part is
// taken as it is. Empty when no file that can be run is found.
NativeString FindProgram(const NativeString& name);

}  // namespace sys
