#pragma once
// Where StartProcess finds a program: on Linux FindProgram; Windows searches by itself.
#include <string_view>

#include "native_string.h"

namespace sys {

// Where StartProcess looks for a program named without a folder, in words for a person.
#ifdef _WIN32
inline constexpr std::string_view kProgramSearchPlaces = "in the places Windows searches";
#else
inline constexpr std::string_view kProgramSearchPlaces = "beside the program or on PATH";
#endif

// Where a program named without a directory is found: the folder of this executable,
// then each folder of PATH. Never the current directory, which may be any folder a
// person opened files from: so neither empty nor relative PATH entries, which the
// shell reads against it. A name with a directory part is taken as it is. Empty when
// no executable file is found.
NativeString FindProgram(const NativeString& name);

}  // namespace sys
