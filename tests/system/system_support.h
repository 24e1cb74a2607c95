#pragma once
// What the system layer's tests share: names written in UTF-8 as native strings, files
// made under native names, and whether two paths name the same file.
#include <string>
#include <vector>

#include "system/native_string.h"

namespace system_testing {

// A name given in UTF-8 (bytes as they are on POSIX) as the system takes it.
inline sys::NativeString Native(const std::string& utf8) { return sys::ToNative(sys::FromUtf8(utf8)); }

// Names that break a command line in one way or another, in UTF-8 (on POSIX also bytes
// that are not text): the one list of them.
std::vector<std::string> AwkwardNames();

void MakeFile(const sys::NativeString& path);
void MakeDirectory(const sys::NativeString& path);

// The same file by identity: device and inode on POSIX; volume and file index on
// Windows, where an 8.3 name and the long one differ as strings.
bool SameFile(const sys::NativeString& a, const sys::NativeString& b);

// Changes the current directory for the life of the object.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const sys::NativeString& directory);
  ~ScopedCurrentDirectory();
  ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
  ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

 private:
  sys::NativeString before_;
};

}  // namespace system_testing
