#pragma once
// Drives: on Linux the mounted file systems a person works with, on Windows the logical
// drives; and the drive a directory lies on.
#include <vector>

#include "native_string.h"

namespace sys {

struct Drive {
  NativeString root;   // the mount path ("/", "/media/stick"), or the drive's root ("C:\")
  NativeString label;  // the volume label; on Linux else what the file system was mounted from
  bool operator==(const Drive&) const = default;
};

// How a drive is named in the drive list: its root without the separator that ends it,
// then its label in brackets where it has one ("/media/stick [STICK]", "C: [System]").
NativeString Designation(const Drive& drive);

// The drives there are now, in the order of their roots. Throws std::system_error when
// the system cannot say.
std::vector<Drive> Drives();

// Test seam: replaces what Drives() reports until called again with an empty table.
void OverrideDrives(std::vector<Drive> drives);

// The drive whose root holds `path`, the deepest where roots nest; null when none does.
const Drive* DriveOf(NativeStringView path, const std::vector<Drive>& drives);

// The directory a drive opens in: the current directory the system keeps for that
// drive when it lies on the drive (on Linux the process's one current directory), else
// the drive's root. Throws std::system_error when the system cannot say.
NativeString CurrentDirectoryOn(const Drive& drive, const std::vector<Drive>& drives);

}  // namespace sys
