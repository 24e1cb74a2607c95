#pragma once
// Linux only: the mount table (/proc/self/mountinfo) read as drives.
#include <string_view>
#include <vector>

#include "native_string.h"

namespace sys {

struct Mount {
  NativeString mountPath;
  NativeString fileSystem;
  NativeString source;  // what it was mounted from: a device, a share, "none"
  bool operator==(const Mount&) const = default;
};

// The mounts in `table` that a person works with, in mount path order: no kernel
// pseudo file systems, nothing under the system's own folders except removable media
// under /run/media. Where several are mounted on one path, the last one shows. Blanks
// and other bytes written as \ooo are read back; lines that do not parse are skipped.
std::vector<Mount> PersonsMounts(std::string_view table);

// Bytes a mount table writes as \ooo (octal) and a label link as \xhh, read back.
NativeString Unescaped(std::string_view text);

}  // namespace sys
