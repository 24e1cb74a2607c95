#include "drives.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <system_error>

#include "directory.h"

namespace sys {
namespace {

constexpr std::array kPseudoFileSystems = {
    "autofs",     "binfmt_misc", "bpf",      "cgroup",   "cgroup2",         "configfs",
    "debugfs",    "devpts",      "devtmpfs", "efivarfs", "fusectl",         "hugetlbfs",
    "mqueue",     "nsfs",        "proc",     "pstore",   "ramfs",           "rpc_pipefs",
    "securityfs", "selinuxfs",   "sysfs",    "tracefs",  "fuse.gvfsd-fuse", "fuse.portal"};
constexpr std::array kSystemFolders = {"/proc", "/sys", "/dev", "/run", "/etc", "/boot/efi"};
constexpr std::string_view kRemovableMediaFolder = "/run/media";
constexpr const char* kLabelFolder = "/dev/disk/by-label";

std::optional<std::vector<Drive>>& Override() {
  static std::optional<std::vector<Drive>> drives;
  return drives;
}

bool IsWithin(std::string_view path, std::string_view folder) {
  if (folder == "/") return !path.empty() && path.front() == '/';
  return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

bool IsPersonsDrive(std::string_view mountPath, std::string_view fileSystem) {
  if (std::find(kPseudoFileSystems.begin(), kPseudoFileSystems.end(), fileSystem) != kPseudoFileSystems.end())
    return false;
  if (IsWithin(mountPath, kRemovableMediaFolder)) return true;
  return std::none_of(kSystemFolders.begin(), kSystemFolders.end(),
                      [&](const char* folder) { return IsWithin(mountPath, folder); });
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

// Mount tables write blanks and other awkward bytes as \ooo (octal), label links as \xhh.
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

std::map<NativeString, NativeString> LabelsByDevice() {
  std::map<NativeString, NativeString> labels;
  std::error_code error;
  for (const auto& link : std::filesystem::directory_iterator(kLabelFolder, error)) {
    const auto device = std::filesystem::canonical(link.path(), error);
    if (!error) labels[device.native()] = Unescaped(link.path().filename().native());
  }
  return labels;
}

// One line of /proc/self/mountinfo: "id parent major:minor root mount-point options
// [optional fields] - file-system source super-options".
std::optional<std::pair<Drive, NativeString>> ParseMountLine(const std::string& line) {
  std::istringstream fields(line);
  std::string id, parent, numbers, root, mountPoint, field;
  if (!(fields >> id >> parent >> numbers >> root >> mountPoint)) return std::nullopt;
  while (fields >> field && field != "-") {
  }
  std::string fileSystem, source;
  if (!(fields >> fileSystem >> source)) return std::nullopt;
  Drive drive{Unescaped(mountPoint), fileSystem};
  if (!IsPersonsDrive(drive.mountPath, fileSystem)) return std::nullopt;
  return std::pair{drive, Unescaped(source)};
}

std::vector<Drive> MountedDrives() {
  std::map<NativeString, Drive> byPath{{"/", Drive{"/", "rootfs"}}};
  const auto labels = LabelsByDevice();
  std::ifstream table("/proc/self/mountinfo");
  for (std::string line; std::getline(table, line);) {
    auto parsed = ParseMountLine(line);
    if (!parsed) continue;
    auto& [drive, source] = *parsed;
    std::error_code error;
    const auto device = std::filesystem::canonical(source, error);
    if (auto label = labels.find(error ? source : device.native()); label != labels.end())
      drive.label = label->second;
    else if (!source.empty() && source != "none")
      drive.label = source;
    byPath[drive.mountPath] = drive;  // a later mount on the same path hides the earlier
  }
  std::vector<Drive> drives;
  for (auto& [path, drive] : byPath) drives.push_back(std::move(drive));
  return drives;
}

}  // namespace

NativeString Designation(const Drive& drive) { return drive.mountPath + " [" + drive.label + "]"; }

std::vector<Drive> Drives() { return Override() ? *Override() : MountedDrives(); }

void OverrideDrives(std::vector<Drive> drives) {
  Override() = drives.empty() ? std::nullopt : std::optional(std::move(drives));
}

const Drive* DriveOf(std::string_view path, const std::vector<Drive>& drives) {
  const Drive* deepest = nullptr;
  for (const auto& drive : drives) {
    if (IsWithin(path, drive.mountPath) && (!deepest || drive.mountPath.size() > deepest->mountPath.size()))
      deepest = &drive;
  }
  return deepest;
}

NativeString CurrentDirectoryOn(const Drive& drive, const std::vector<Drive>& drives) {
  const auto current = CurrentDirectory();
  const Drive* currentDrive = DriveOf(current, drives);
  return currentDrive && *currentDrive == drive ? current : drive.mountPath;
}

}  // namespace sys
