#include <sys/stat.h>

#include <cerrno>

#include "command_line.h"
#include "directory.h"
#include "os.h"
#include "shortpath.h"

namespace sys {

NativeString ShortPath(const NativeString& longPath) {
  struct stat st {};
  if (longPath.empty()) return {};
  if (stat(longPath.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return {};
    os::ThrowLastError(longPath);
  }
  const bool absolute = RootLength(longPath) > 0;
  return EscapedAsOneWord(absolute ? longPath : JoinPath(CurrentDirectory(), longPath));
}

}  // namespace sys
