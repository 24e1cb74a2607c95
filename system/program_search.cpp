// The program search: this executable's folder, then the folders PATH names in full.
#include "program_search.h"

#include <filesystem>
#include <vector>

#include "directory.h"
#include "os.h"

namespace sys {
namespace {

// The same place whatever the current directory and drive: "/dir" on POSIX; "C:\dir" or
// "\\server\share\dir" on Windows, not "C:dir" nor "\dir".
bool IsFullyQualified(NativeStringView path) { return RootLength(path) >= (kSeparator == '/' ? 1 : 3); }

std::vector<NativeString> SearchFolders() {
  std::vector<NativeString> folders;
  if (auto own = os::OwnFolder(); !own.empty()) folders.push_back(std::move(own));
  const NativeString path = os::PathVariable();
  NativeStringView rest = path;
  for (auto end = rest.find(os::kSearchPathSeparator);; end = rest.find(os::kSearchPathSeparator)) {
    const auto folder = rest.substr(0, end);
    if (IsFullyQualified(folder)) folders.emplace_back(folder);
    if (end == NativeStringView::npos) return folders;
    rest.remove_prefix(end + 1);
  }
}

}  // namespace

NativeString FindProgram(const NativeString& name) {
  if (name.empty()) return {};
  if (std::filesystem::path(name).has_parent_path()) return os::IsRunnableFile(name) ? name : NativeString();
  for (const auto& folder : SearchFolders()) {
    auto candidate = JoinPath(folder, name);
    if (os::IsRunnableFile(candidate)) return candidate;
  }
  return {};
}

}  // namespace sys
