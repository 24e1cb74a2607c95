// Drives: what is the same on every platform.
#include "drives.h"

#include <optional>

#include "directory.h"
#include "os.h"

namespace sys {
namespace {

std::optional<std::vector<Drive>>& Override() {
  static std::optional<std::vector<Drive>> drives;
  return drives;
}

bool SameUnit(NativeChar a, NativeChar b) {
  const bool foldCase = kSeparator == '\\';  // drive letters and Windows names ignore case
  const auto fold = [](NativeChar c) { return (c >= 'A' && c <= 'Z') ? static_cast<NativeChar>(c - 'A' + 'a') : c; };
  return foldCase ? fold(a) == fold(b) : a == b;
}

bool StartsWith(NativeStringView path, NativeStringView prefix) {
  if (path.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (!SameUnit(path[i], prefix[i])) return false;
  }
  return true;
}

bool Holds(NativeStringView root, NativeStringView path) {
  const NativeString folder = WithoutTrailingSeparators(root);
  if (!StartsWith(path, folder)) return false;
  const bool endsInSeparator = !folder.empty() && IsSeparator(folder.back());
  return endsInSeparator || path.size() == folder.size() || IsSeparator(path[folder.size()]);
}

}  // namespace

NativeString Designation(const Drive& drive) {
  NativeString name = WithoutTrailingSeparators(drive.root);
  if (name.size() > 1 && IsSeparator(name.back())) name.pop_back();  // "C:\" shows as "C:"
  if (!drive.label.empty()) name += NativeFromAscii(" [") + drive.label + NativeFromAscii("]");
  return name;
}

std::vector<Drive> Drives() { return Override() ? *Override() : os::SystemDrives(); }

void OverrideDrives(std::vector<Drive> drives) {
  Override() = drives.empty() ? std::nullopt : std::optional(std::move(drives));
}

const Drive* DriveOf(NativeStringView path, const std::vector<Drive>& drives) {
  const Drive* deepest = nullptr;
  for (const auto& drive : drives) {
    if (Holds(drive.root, path) && (!deepest || drive.root.size() > deepest->root.size())) deepest = &drive;
  }
  return deepest;
}

NativeString CurrentDirectoryOn(const Drive& drive, const std::vector<Drive>& drives) {
  const NativeString kept = WithoutTrailingSeparators(os::CurrentDirectoryKeptFor(drive));
  const Drive* holder = DriveOf(kept, drives);
  return holder && holder->root == drive.root ? kept : drive.root;
}

}  // namespace sys
