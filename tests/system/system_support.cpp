#include "system_support.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <tuple>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace system_testing {

std::vector<std::string> AwkwardNames() {
  std::vector<std::string> names{"rock wall.m32",           "a;b.m32",  "$(touch pwned).m32", "-rf.m32",
                                 "  two  blanks  .m32",     "it's.m32", "100% %PATH%.m32",    "a & b ^ c.m32",
                                 "ok \xc3\xa9t\xc3\xa9.m32"};
#ifndef _WIN32
  names.insert(names.end(), {"it's \"quoted\".m32", "line\nbreak.m32", "tab\there.m32", "back\\slash.m32",
                             "caf\xe9 latin1.m32", "\xff\xfe.m32", "\xed\xb2\x80 surrogate.m32"});
#endif
  return names;
}

void MakeFile(const sys::NativeString& path) {
  std::ofstream file(std::filesystem::path(path), std::ios::binary);
  file << "m32";
  if (!file) throw std::runtime_error("cannot make a test file");
}

void MakeDirectory(const sys::NativeString& path) { std::filesystem::create_directory(path); }

#ifdef _WIN32
bool SameFile(const sys::NativeString& a, const sys::NativeString& b) {
  const auto identity = [](const sys::NativeString& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::tuple<DWORD, DWORD, DWORD>{0, 0, 0};
    const BOOL got = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!got) return std::tuple<DWORD, DWORD, DWORD>{0, 0, 0};
    return std::tuple{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  };
  const auto first = identity(a);
  return first != std::tuple<DWORD, DWORD, DWORD>{0, 0, 0} && first == identity(b);
}
#else
bool SameFile(const sys::NativeString& a, const sys::NativeString& b) {
  struct stat x {
  }, y{};
  return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}
#endif

ScopedCurrentDirectory::ScopedCurrentDirectory(const sys::NativeString& directory)
    : before_(std::filesystem::current_path().native()) {
  std::filesystem::current_path(directory);
}

ScopedCurrentDirectory::~ScopedCurrentDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(before_, ignored);
}

}  // namespace system_testing
