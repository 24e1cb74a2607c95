// The mount table of Linux: one line per mount,
//   id parent major:minor root mount-point options [optional fields] - type source super-options
#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "mount_table.h"

namespace sys {
namespace {

constexpr std::array<std::string_view, 24> kPseudoFileSystems = {
    "autofs",     "binfmt_misc", "bpf",      "cgroup",   "cgroup2",         "configfs",
    "debugfs",    "devpts",      "devtmpfs", "efivarfs", "fusectl",         "hugetlbfs",
    "mqueue",     "nsfs",        "proc",     "pstore",   "ramfs",           "rpc_pipefs",
    "securityfs", "selinuxfs",   "sysfs",    "tracefs",  "fuse.gvfsd-fuse", "fuse.portal"};
constexpr std::array<std::string_view, 6> kSystemFolders = {"/proc", "/sys", "/dev", "/run", "/etc", "/boot/efi"};
constexpr std::string_view kRemovableMediaFolder = "/run/media";

bool IsWithin(std::string_view path, std::string_view folder) {
  return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

bool IsPersonsMount(std::string_view mountPath, std::string_view fileSystem) {
  if (std::find(kPseudoFileSystems.begin(), kPseudoFileSystems.end(), fileSystem) != kPseudoFileSystems.end())
    return false;
  if (IsWithin(mountPath, kRemovableMediaFolder)) return true;
  return std::none_of(kSystemFolders.begin(), kSystemFolders.end(),
                      [&](std::string_view folder) { return IsWithin(mountPath, folder); });
}

int DigitValue(char c, int base) {
  const auto b = static_cast<unsigned char>(c);
  const int value = std::isdigit(b) ? b - '0' : std::isxdigit(b) ? std::tolower(b) - 'a' + 10 : base;
  return value < base ? value : -1;
}

// The number written by `count` digits of `base` at `from`; -1 when there is none.
int NumberAt(std::string_view text, std::size_t from, std::size_t count, int base) {
  if (from + count > text.size()) return -1;
  int number = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) return -1;
    number = number * base + digit;
  }
  return number;
}

std::optional<Mount> ParseLine(const std::string& line) {
  std::istringstream fields(line);
  std::string id, parent, numbers, root, mountPoint, field;
  if (!(fields >> id >> parent >> numbers >> root >> mountPoint)) return std::nullopt;
  while (fields >> field && field != "-") {
  }
  std::string fileSystem, source;
  if (field != "-" || !(fields >> fileSystem >> source)) return std::nullopt;
  return Mount{Unescaped(mountPoint), fileSystem, Unescaped(source)};
}

}  // namespace

NativeString Unescaped(std::string_view text) {
  NativeString out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      if (const int octal = NumberAt(text, i + 1, 3, 8); octal >= 0 && octal < 256) {
        out += static_cast<char>(octal), i += 3;
        continue;
      }
      if (const int hex = NumberAt(text, i + 2, 2, 16); hex >= 0 && text[i + 1] == 'x') {
        out += static_cast<char>(hex), i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::vector<Mount> PersonsMounts(std::string_view table) {
  std::map<NativeString, Mount> byPath;
  std::istringstream lines{std::string(table)};
  for (std::string line; std::getline(lines, line);) {
    auto mount = ParseLine(line);
    if (!mount || !IsPersonsMount(mount->mountPath, mount->fileSystem)) continue;
    byPath[mount->mountPath] = std::move(*mount);  // a later mount on the same path hides the earlier
  }
  std::vector<Mount> mounts;
  for (auto& [path, mount] : byPath) mounts.push_back(std::move(mount));
  return mounts;
}

}  // namespace sys
