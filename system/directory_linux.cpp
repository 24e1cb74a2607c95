// Listings and the current directory on Linux.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "directory.h"
#include "os.h"

namespace sys {

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
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

EntryKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::kFile;
  if (S_ISDIR(mode)) return EntryKind::kDirectory;
  return EntryKind::kOther;
}

EntryKind KindOf(DIR* dir, const dirent& entry) {
  switch (entry.d_type) {
    case DT_REG: return EntryKind::kFile;
    case DT_DIR: return EntryKind::kDirectory;
    case DT_LNK:
    case DT_UNKNOWN: {
      struct stat st {};
      if (fstatat(dirfd(dir), entry.d_name, &st, 0) != 0) return EntryKind::kOther;
      return KindOfMode(st.st_mode);
    }
    default: return EntryKind::kOther;
  }
}

// Whether the entry is a link, where the file system does not say so at once.
bool IsLink(DIR* dir, const dirent& entry) {
  if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_LNK;
  struct stat st {};
  return fstatat(dirfd(dir), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

bool IsHidden(const char* name) { return name[0] == '.'; }

}  // namespace

int ListVisibleAt(int at, const char* path, std::vector<VisibleEntry>& entries) {
  const int fd = openat(at, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DirHandle dir(fd >= 0 ? fdopendir(fd) : nullptr);
  if (!dir) {
    const int problem = errno;
    if (fd >= 0) close(fd);
    return problem;
  }
  errno = 0;
  while (const dirent* entry = readdir(dir.get())) {
    if (!IsHidden(entry->d_name))
      entries.push_back({entry->d_name, KindOf(dir.get(), *entry), IsLink(dir.get(), *entry)});
    errno = 0;
  }
  return errno;
}

int ListVisible(const NativeString& folder, std::vector<VisibleEntry>& entries) {
  return ListVisibleAt(AT_FDCWD, folder.c_str(), entries);
}

}  // namespace os
}  // namespace sys
