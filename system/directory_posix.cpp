#include "directory.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>

namespace sys {
namespace {

enum class Kind { File, Directory, Other };

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

[[noreturn]] void ThrowFor(const NativeString& directory) {
  throw std::system_error(errno, std::generic_category(), directory);
}

DirHandle OpenDirectory(const NativeString& directory) {
  DirHandle dir(opendir(directory.c_str()));
  if (!dir) ThrowFor(directory);
  return dir;
}

Kind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return Kind::File;
  if (S_ISDIR(mode)) return Kind::Directory;
  return Kind::Other;
}

// The entry's kind, following a link; only links and file systems that do not
// report kinds cost a stat call.
Kind KindOf(DIR* dir, const dirent& entry) {
  switch (entry.d_type) {
    case DT_REG: return Kind::File;
    case DT_DIR: return Kind::Directory;
    case DT_LNK:
    case DT_UNKNOWN: {
      struct stat st {};
      if (fstatat(dirfd(dir), entry.d_name, &st, 0) != 0) return Kind::Other;
      return KindOfMode(st.st_mode);
    }
    default: return Kind::Other;
  }
}

bool IsHidden(const char* name) { return name[0] == '.'; }

template <class Accept>
std::vector<NativeString> List(const NativeString& directory, Kind wanted, Accept accept) {
  DirHandle dir = OpenDirectory(directory);
  std::vector<NativeString> names;
  errno = 0;
  while (const dirent* entry = readdir(dir.get())) {
    if (!IsHidden(entry->d_name) && accept(entry->d_name) && KindOf(dir.get(), *entry) == wanted)
      names.emplace_back(entry->d_name);
    errno = 0;
  }
  if (errno != 0) ThrowFor(directory);
  std::sort(names.begin(), names.end(), NameLess);
  return names;
}

unsigned char Folded(char c) {
  const auto b = static_cast<unsigned char>(c);
  return (b >= 'A' && b <= 'Z') ? b + ('a' - 'A') : b;
}

}  // namespace

NativeString CurrentDirectory() {
  std::error_code error;
  auto path = std::filesystem::current_path(error);
  return error ? NativeString(1, kSeparator) : path.native();
}

NativeString JoinPath(std::string_view directory, std::string_view name) {
  NativeString path(directory);
  if (path.empty() || path.back() != kSeparator) path += kSeparator;
  path += name;
  return path;
}

NativeString ParentDirectory(std::string_view path) {
  const auto cut = path.find_last_of(kSeparator);
  if (cut == std::string_view::npos || cut == 0) return NativeString(1, kSeparator);
  return NativeString(path.substr(0, cut));
}

std::vector<NativeString> ListFiles(const NativeString& directory, const NativeString& pattern) {
  return List(directory, Kind::File,
              [&](const char* name) { return fnmatch(pattern.c_str(), name, FNM_CASEFOLD | FNM_PERIOD) == 0; });
}

std::vector<NativeString> ListSubdirectories(const NativeString& directory) {
  return List(directory, Kind::Directory, [](const char*) { return true; });
}

bool NameLess(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  int byteOrder = 0;  // the first plain byte difference breaks a tie of folded names
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char x = Folded(a[i]), y = Folded(b[i]);
    if (x != y) return x < y;
    if (byteOrder == 0 && a[i] != b[i])
      byteOrder = static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return byteOrder < 0;
}

}  // namespace sys
