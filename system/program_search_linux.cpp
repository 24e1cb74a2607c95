// What the program search asks of Linux.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "os.h"

namespace sys::os {

bool IsRunnableFile(const NativeString& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Read once: it is costly, and the executable does not move while it runs.
NativeString OwnFolder() {
  static const NativeString folder = [] {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? NativeString() : self.parent_path().native();
  }();
  return folder;
}

NativeString PathVariable() {
  const char* path = std::getenv("PATH");
  return path ? path : "";
}

}  // namespace sys::os
