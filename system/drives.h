#pragma once
// Drives: the mounted file systems a person works with, and a directory's drive.
#include <string_view>
#include <vector>

#include "native_string.h"

namespace sys {

struct Drive {
  NativeString mountPath;
  NativeString label;  // the volume label, else what the file system was mounted from
  bool operator==(const Drive&) const = default;
};

// How a drive is named in the drive list: its mount path, then its label in brackets,
// so that a drive's name never reads as a plain directory path.
NativeString Designation(const Drive& drive);

// The drives mounted now, the root always among them, in mount path order.
std::vector<Drive> Drives();

// Replaces what Drives() reports until called again with an empty table; for tests.
void OverrideDrives(std::vector<Drive> drives);

// The deepest drive whose mount path contains `path`; null when none does.
const Drive* DriveOf(std::string_view path, const std::vector<Drive>& drives);

// The directory a drive opens in: the current directory when it lies on that drive,
// else the drive's mount path.
NativeString CurrentDirectoryOn(const Drive& drive, const std::vector<Drive>& drives);

}  // namespace sys
