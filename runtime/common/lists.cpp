#include "lists.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "runtime/error.h"
#include "runtime/form.h"
#include "runtime/strings.h"
#include "system/directory.h"
#include "system/drives.h"

namespace runtime::common {
namespace {

std::u16string DesignationOf(const sys::Drive& drive) { return FromNative(sys::Designation(drive)); }

// Set by StartListsIn; empty: the current directory.
sys::NativeString gChosenStart;

sys::NativeString StartingNative() {
  if (!gChosenStart.empty()) return gChosenStart;
  try {
    return sys::CurrentDirectory();
  } catch (const std::system_error& failure) {
    std::fprintf(stderr, "%s; starting at the first drive\n", failure.what());
    return sys::Drives().front().root;
  }
}

// The drives the system reports; where it cannot say, the drive of the start directory.
std::vector<sys::Drive> KnownDrives() {
  try {
    return sys::Drives();
  } catch (const std::system_error& failure) {
    std::fprintf(stderr, "%s; showing the start directory's drive alone\n", failure.what());
    const auto start = StartingNative();
    return {sys::Drive{start.substr(0, sys::RootLength(start)), {}}};
  }
}

std::u16string DesignationOfDriveOf(const std::u16string& path, const std::vector<sys::Drive>& drives) {
  const sys::Drive* drive = sys::DriveOf(ToNative(path), drives);
  return drive ? DesignationOf(*drive) : std::u16string();
}

bool IsRoot(const sys::NativeString& directory) { return sys::ParentDirectory(directory) == directory; }

// The directory itself and each directory above it, the root first.
std::vector<sys::NativeString> Lineage(const sys::NativeString& directory) {
  std::vector<sys::NativeString> lineage{directory};
  while (!IsRoot(lineage.front())) lineage.insert(lineage.begin(), sys::ParentDirectory(lineage.front()));
  return lineage;
}

std::u16string NameOf(const sys::NativeString& directory) { return ForDisplay(FromNative(sys::LastName(directory))); }

std::vector<DirectoryEntry> Listing(const sys::NativeString& directory,
                                    const std::vector<sys::NativeString>& subdirectories) {
  std::vector<DirectoryEntry> entries;
  int level = 0;
  for (const auto& ancestor : Lineage(directory))
    entries.push_back({FromNative(ancestor), NameOf(ancestor), level++, true});
  for (const auto& name : subdirectories) {
    const auto path = sys::JoinPath(directory, name);
    entries.push_back({FromNative(path), NameOf(path), level, false});
  }
  return entries;
}

}  // namespace

std::vector<std::u16string> DriveDesignations(const std::u16string& current) {
  std::vector<std::u16string> designations;
  for (const auto& drive : KnownDrives()) designations.push_back(DesignationOf(drive));
  const bool gone = std::find(designations.begin(), designations.end(), current) == designations.end();
  if (!current.empty() && gone) designations.push_back(current);
  return designations;
}

std::u16string DesignationOfDriveOf(const std::u16string& path) { return DesignationOfDriveOf(path, KnownDrives()); }

std::u16string DirectoryFor(const std::u16string& path) {
  const auto native = ToNative(path);
  const auto drives = KnownDrives();
  for (const auto& drive : drives) {
    if (sys::Designation(drive) == native)
      return FromNative(Checked([&] { return sys::CurrentDirectoryOn(drive, drives); }));
  }
  return FromNative(sys::WithoutTrailingSeparators(native));
}

std::vector<DirectoryEntry> ReadDirectoryList(const std::u16string& directory) {
  const auto native = ToNative(directory);
  return Listing(native, Checked([&] { return sys::ListSubdirectories(native); }));
}

std::vector<DirectoryEntry> ReadStartingDirectoryList(const std::u16string& directory) {
  try {
    return ReadDirectoryList(directory);
  } catch (const Error&) {
    return Listing(ToNative(directory), {});
  }
}

int OpenIndex(const std::vector<DirectoryEntry>& entries) {
  int index = -1;
  for (const auto& entry : entries) index += entry.open ? 1 : 0;
  return index;
}

std::vector<std::u16string> ReadFileList(const std::u16string& directory, const std::u16string& pattern) {
  const auto names = Checked([&] { return sys::ListFiles(ToNative(directory), ToNative(pattern)); });
  std::vector<std::u16string> list;
  list.reserve(names.size());
  for (const auto& name : names) list.push_back(FromNative(name));
  return list;
}

std::u16string StartingDirectory() { return FromNative(StartingNative()); }

}  // namespace runtime::common

namespace runtime {

void StartListsIn(const std::u16string& place) {
  try {
    common::gChosenStart = place.empty() ? sys::NativeString() : sys::DirectoryToOpen(ToNative(place));
  } catch (const std::system_error&) {
    common::gChosenStart.clear();  // as when no place is named: nothing to tell a person
  }
}

}  // namespace runtime
