#pragma once
// Command lines: how one argument is written so that it stays one, and how a line is
// split into words where no system does it for us.
#include <vector>

#include "native_string.h"

namespace sys {

// POSIX, as this program's own splitting reads it: each blank, tab, line break,
// backslash and quote escaped by a backslash.
NativeString EscapedAsOneWord(NativeStringView text);

// The words of a command line on POSIX: split at blanks and tabs; a backslash keeps the
// next character as it is. Nothing else is special.
std::vector<NativeString> SplitCommandLine(NativeStringView commandLine);

// Windows, by the C runtime's rules: as it is when it has no blank, tab, line break or
// quote and is not empty; else in quotes, with a backslash before each quote and the
// backslashes in front of a quote, or of the closing quote, doubled.
NativeString QuotedAsOneArgument(NativeStringView text);

}  // namespace sys
