// Listings and the current directory on Linux.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "directory.h"
#include "os.h"

namespace sys {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

enum class Kind { kFile, kDirectory, kOther };

Kind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return Kind::kFile;
  if (S_ISDIR(mode)) return Kind::kDirectory;
  return Kind::kOther;
}

// The entry's kind, following a link; only links and file systems that do not report
// kinds cost a stat call. A dangling link is of no kind a person works with.
Kind KindOf(DIR* dir, const dirent& entry) {
  switch (entry.d_type) {
    case DT_REG: return Kind::kFile;
    case DT_DIR: return Kind::kDirectory;
    case DT_LNK:
    case DT_UNKNOWN: {
      struct stat st {};
      if (fstatat(dirfd(dir), entry.d_name, &st, 0) != 0) return Kind::kOther;
      return KindOfMode(st.st_mode);
    }
    default: return Kind::kOther;
  }
}

bool IsHidden(const char* name) { return name[0] == '.'; }

}  // namespace

NativeString CurrentDirectory() {
  NativeString path(256, '\0');
  while (!getcwd(path.data(), path.size())) {
    if (errno != ERANGE) os::ThrowLastError("the current directory");
    path.resize(path.size() * 2);
  }
  path.resize(path.find('\0'));
  return path;
}

namespace os {

std::vector<NativeString> ReadDirectory(const NativeString& directory, EntryKind wanted,
                                        const std::function<bool(NativeStringView)>& accept) {
  DirHandle dir(opendir(directory.c_str()));
  if (!dir) ThrowLastError(directory);
  const Kind kind = wanted == EntryKind::kFile ? Kind::kFile : Kind::kDirectory;
  std::vector<NativeString> names;
  errno = 0;
  while (const dirent* entry = readdir(dir.get())) {
    if (!IsHidden(entry->d_name) && accept(entry->d_name) && KindOf(dir.get(), *entry) == kind)
      names.emplace_back(entry->d_name);
    errno = 0;
  }
  if (errno != 0) ThrowLastError(directory);
  return names;
}

}  // namespace os
}  // namespace sys
