#pragma once
// Directories as the lists show them: absolute paths in which only the root ends in a
// separator, and listings of the entries a person works with.
#include <string>
#include <string_view>
#include <vector>

#include "native_string.h"

namespace sys {

inline constexpr char kSeparator = '/';

// The process's current directory; the root when it cannot be had.
NativeString CurrentDirectory();

// `directory`, then a separator unless it already ends in one, then `name`.
NativeString JoinPath(std::string_view directory, std::string_view name);

// The directory above `path`; the root is its own parent.
NativeString ParentDirectory(std::string_view path);

// The names of the regular files in `directory` (links to regular files included) whose
// names match `pattern` ('*' and '?', without regard to case), hidden names left out,
// in name order. Throws std::system_error naming the directory when it cannot be read.
std::vector<NativeString> ListFiles(const NativeString& directory, const NativeString& pattern);

// The names of the sub-directories of `directory` (links to directories included),
// hidden names left out, in name order. Throws std::system_error like ListFiles.
std::vector<NativeString> ListSubdirectories(const NativeString& directory);

// Name order as a person expects it: letters without regard to case, ties by bytes.
bool NameLess(std::string_view a, std::string_view b);

}  // namespace sys
