#pragma once
// What the system layer's tests share: names written in UTF-8 as native strings, the
// awkward ones, files by identity, the current directory, and a process run to its end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "system/native_string.h"
#include "system/process.h"

namespace system_testing {

// A name given in UTF-8 (bytes as they are on POSIX) as the system takes it.
inline sys::NativeString Native(const std::string& utf8) { return sys::ToNative(sys::FromUtf8(utf8)); }

// Names that break a command line in one way or another, in UTF-8 (on POSIX also bytes
// that are not text): the one list of them.
inline std::vector<std::string> AwkwardNames() {
  std::vector<std::string> names{"rock wall.m32",           "a;b.m32",  "$(touch pwned).m32", "-rf.m32",
                                 "  two  blanks  .m32",     "it's.m32", "100% %PATH%.m32",    "a & b ^ c.m32",
                                 "ok \xc3\xa9t\xc3\xa9.m32"};
#ifndef _WIN32
  names.insert(names.end(), {"it's \"quoted\".m32", "line\nbreak.m32", "tab\there.m32", "back\\slash.m32",
                             "caf\xe9 latin1.m32", "\xff\xfe.m32", "\xed\xb2\x80 surrogate.m32"});
#endif
  return names;
}

// The error the call throws; none when it returns.
template <class Call>
std::system_error ErrorOf(const Call& call) {
  try {
    call();
  } catch (const std::system_error& failure) {
    return failure;
  }
  return std::system_error(std::error_code(), "no error");
}

inline void MakeFile(const std::filesystem::path& path) { std::ofstream(path) << "m32"; }

// By identity: on Windows an 8.3 name and the long one differ as strings.
inline bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error);
}

// Changes the current directory for the life of the object.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::filesystem::path& directory) { std::filesystem::current_path(directory); }
  ~ScopedCurrentDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(before_, ignored);
  }

 private:
  std::filesystem::path before_ = std::filesystem::current_path();
};

inline sys::ProcessResult RunToTheEnd(const sys::NativeString& commandLine) {
  sys::Process process = sys::StartProcess(commandLine);
  if (!sys::WaitForProcess(process, 10000)) {
    ADD_FAILURE() << "the process did not end";
    sys::StopProcess(process);
  }
  return sys::CloseProcess(process);
}

}  // namespace system_testing
