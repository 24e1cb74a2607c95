// The program search of Linux: this executable's folder, then PATH's.
#include "program_search.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "directory.h"

namespace sys {
namespace {

bool IsExecutableFile(const NativeString& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Read once: it is costly, and the executable does not move while it runs.
const NativeString& OwnFolder() {
  static const NativeString folder = [] {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? NativeString() : self.parent_path().native();
  }();
  return folder;
}

std::vector<NativeString> SearchFolders() {
  std::vector<NativeString> folders;
  if (const auto& own = OwnFolder(); !own.empty()) folders.push_back(own);
  const char* path = std::getenv("PATH");
  if (!path) return folders;
  std::string_view rest = path;
  for (auto colon = rest.find(':');; colon = rest.find(':')) {
    const auto folder = rest.substr(0, colon);
    if (RootLength(folder) > 0) folders.emplace_back(folder);  // empty and relative ones mean "here"
    if (colon == std::string_view::npos) return folders;
    rest.remove_prefix(colon + 1);
  }
}

}  // namespace

NativeString FindProgram(const NativeString& name) {
  if (name.empty()) return {};
  if (name.find(kSeparator) != NativeString::npos) return IsExecutableFile(name) ? name : NativeString();
  for (const auto& folder : SearchFolders()) {
    auto candidate = JoinPath(folder, name);
    if (IsExecutableFile(candidate)) return candidate;
  }
  return {};
}

}  // namespace sys
