// Paths, patterns and name order: the same on every platform but for the form of a root.
#include "directory.h"

#include <algorithm>
#include <filesystem>
#include <type_traits>

#include "os.h"

namespace sys {
namespace {

#ifdef _WIN32
constexpr bool kDriveLetterPaths = true;
#else
constexpr bool kDriveLetterPaths = false;
#endif

using Unit = std::make_unsigned_t<NativeChar>;

Unit Folded(NativeChar c) {
  const auto u = static_cast<Unit>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<Unit>(u + ('a' - 'A')) : u;
}

bool IsDriveLetter(NativeChar c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "\\server\share\": the two names after the leading pair, and the separator after them.
std::size_t NetworkRootLength(NativeStringView path) {
  std::size_t end = 2;
  for (int names = 0; names < 2; ++names) {
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end < path.size()) ++end;
  }
  return end;
}

std::size_t DriveLetterRootLength(NativeStringView path) {
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':')
    return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return NetworkRootLength(path);
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

}  // namespace

bool IsSeparator(NativeChar c) { return c == kSeparator || (kDriveLetterPaths && c == '/'); }

std::size_t RootLength(NativeStringView path) {
  if constexpr (kDriveLetterPaths) return DriveLetterRootLength(path);
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

NativeString JoinPath(NativeStringView directory, NativeStringView name) {
  NativeString path(directory);
  if (path.empty() || !IsSeparator(path.back())) path += kSeparator;
  path += name;
  return path;
}

NativeString WithoutTrailingSeparators(NativeStringView path) {
  const std::size_t root = RootLength(path);
  std::size_t end = path.size();
  while (end > root && IsSeparator(path[end - 1])) --end;
  return NativeString(path.substr(0, end));
}

NativeString DirectoryToOpen(const NativeString& place) {
  namespace fs = std::filesystem;
  fs::path path = fs::absolute(place).lexically_normal();
  if (fs::is_symlink(path)) path = fs::canonical(path);  // as a mail program's link: where the file lies
  const fs::file_status status = fs::status(path);
  if (!fs::exists(status)) os::Throw(std::make_error_code(std::errc::no_such_file_or_directory), path.native());
  if (!fs::is_directory(status)) path = path.parent_path();
  (void)fs::directory_iterator(path);  // throws when it cannot be read
  return WithoutTrailingSeparators(path.native());
}

NativeString ParentDirectory(NativeStringView path) {
  const NativeString trimmed = WithoutTrailingSeparators(path);
  const std::size_t root = RootLength(trimmed);
  std::size_t cut = trimmed.size();
  while (cut > root && !IsSeparator(trimmed[cut - 1])) --cut;
  if (cut <= root) return root > 0 ? trimmed.substr(0, root) : trimmed;
  return WithoutTrailingSeparators(NativeStringView(trimmed).substr(0, cut));
}

NativeString LastName(NativeStringView path) {
  const NativeString trimmed = WithoutTrailingSeparators(path);
  const std::size_t root = RootLength(trimmed);
  std::size_t cut = trimmed.size();
  while (cut > root && !IsSeparator(trimmed[cut - 1])) --cut;
  return cut == trimmed.size() ? trimmed : trimmed.substr(cut);
}

namespace {

// The names in `directory` of the entries of kind `wanted` (links count as what they
// point to) that `accept` takes, hidden and system entries left out, in name order.
template <typename Accept>
std::vector<NativeString> ListSorted(const NativeString& directory, os::EntryKind wanted, Accept accept) {
  std::vector<os::VisibleEntry> entries;
  if (const int error = os::ListVisible(directory, entries); error != 0) os::Throw(os::ErrorCode(error), directory);
  std::vector<NativeString> names;
  for (os::VisibleEntry& entry : entries) {
    if (entry.kind == wanted && accept(entry.name)) names.push_back(std::move(entry.name));
  }
  std::sort(names.begin(), names.end(), NameLess);
  return names;
}

}  // namespace

std::vector<NativeString> ListFiles(const NativeString& directory, NativeStringView pattern) {
  return ListSorted(directory, os::EntryKind::kFile,
                    [pattern](NativeStringView name) { return MatchesPattern(name, pattern); });
}

std::vector<NativeString> ListSubdirectories(const NativeString& directory) {
  return ListSorted(directory, os::EntryKind::kDirectory, [](NativeStringView) { return true; });
}

bool MatchesPattern(NativeStringView name, NativeStringView pattern) {
  // Greedy matching that goes back to the last '*' on a mismatch: linear in practice,
  // never worse than the product of the lengths.
  std::size_t n = 0, p = 0;
  std::size_t starAt = NativeStringView::npos, resumeAt = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starAt = p++;
      resumeAt = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || Folded(pattern[p]) == Folded(name[n]))) {
      ++p, ++n;
    } else if (starAt != NativeStringView::npos) {
      p = starAt + 1;
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool NameLess(NativeStringView a, NativeStringView b) {
  const std::size_t common = std::min(a.size(), b.size());
  int unitOrder = 0;  // the first plain difference breaks a tie of folded names
  for (std::size_t i = 0; i < common; ++i) {
    const Unit x = Folded(a[i]), y = Folded(b[i]);
    if (x != y) return x < y;
    if (unitOrder == 0 && a[i] != b[i]) unitOrder = static_cast<Unit>(a[i]) < static_cast<Unit>(b[i]) ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return unitOrder < 0;
}

}  // namespace sys
