#pragma once
// Paths and directories as the lists show them: absolute paths in which only a root
// (`/` on POSIX, `C:\` on Windows) ends in a separator, and listings of the entries a
// person works with.
#include <vector>

#include "native_string.h"

namespace sys {

#ifdef _WIN32
inline constexpr NativeChar kSeparator = L'\\';
#else
inline constexpr NativeChar kSeparator = '/';
#endif

bool IsSeparator(NativeChar c);

// How much of `path` is its root: "/" on POSIX; "C:\" or "C:" or "\\server\share\"
// on Windows. 0 for a relative path.
std::size_t RootLength(NativeStringView path);

// The process's current directory. Throws std::system_error when it cannot be had (it
// has been removed, say).
NativeString CurrentDirectory();

// The directory to open for a place a person names, such as a program's argument: the
// place itself when it is a directory, else the directory that holds it, where a link
// counts as what it points to. A relative place is taken from the current directory.
// Throws std::system_error when the place is not there or the directory cannot be read.
NativeString DirectoryToOpen(const NativeString& place);

// `directory`, then a separator unless it already ends in one, then `name`.
NativeString JoinPath(NativeStringView directory, NativeStringView name);

// The directory above `path`; a root, and a name with nothing above it, is its own
// parent.
NativeString ParentDirectory(NativeStringView path);

// `path` without separators at its end, except the one that ends a root.
NativeString WithoutTrailingSeparators(NativeStringView path);

// The last name in `path`; a root's name is the root itself.
NativeString LastName(NativeStringView path);

// The names of the regular files in `directory` (links to regular files included) whose
// names match `pattern` (MatchesPattern), hidden and system entries left out, in name
// order. Throws std::system_error naming the directory when it cannot be read.
std::vector<NativeString> ListFiles(const NativeString& directory, NativeStringView pattern);

// The names of the sub-directories of `directory` (links to directories included),
// hidden and system entries left out, in name order. Throws like ListFiles.
std::vector<NativeString> ListSubdirectories(const NativeString& directory);

// Whether `name` matches `pattern`, where '*' stands for any run of characters and '?'
// for one, letters without regard to case. Nothing else is special.
bool MatchesPattern(NativeStringView name, NativeStringView pattern);

// Name order as a person expects it: letters without regard to case, ties by the
// characters' values.
bool NameLess(NativeStringView a, NativeStringView b);

}  // namespace sys
