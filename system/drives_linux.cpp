// Drives on Linux: the mounted file systems a person works with, labelled from
// /dev/disk/by-label where a label is known.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "directory.h"
#include "mount_table.h"
#include "os.h"

namespace sys {
namespace {

constexpr const char* kMountTable = "/proc/self/mountinfo";
constexpr const char* kLabelFolder = "/dev/disk/by-label";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string ReadWholeFile(const char* path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
  if (!file) os::ThrowLastError(path);
  std::string content;
  char buffer[16384];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get())) content.append(buffer, got);
  if (std::ferror(file.get())) os::ThrowLastError(path);
  return content;
}

// The device a label link points to, by label. A system without labelled file systems
// has no such folder.
std::map<NativeString, NativeString> LabelsByDevice() {
  std::map<NativeString, NativeString> labels;
  std::error_code error;
  std::filesystem::directory_iterator links(kLabelFolder, error);
  if (error == std::errc::no_such_file_or_directory) return labels;
  if (error) os::Throw(error, kLabelFolder);
  for (const auto& link : links) {
    const auto device = std::filesystem::canonical(link.path(), error);
    if (!error) labels[device.native()] = Unescaped(link.path().filename().native());
  }
  return labels;
}

NativeString LabelOf(const Mount& mount, const std::map<NativeString, NativeString>& labels) {
  std::error_code error;
  const auto device = std::filesystem::canonical(mount.source, error);
  if (auto label = labels.find(error ? mount.source : device.native()); label != labels.end()) return label->second;
  return mount.source.empty() || mount.source == "none" ? mount.fileSystem : mount.source;
}

}  // namespace

namespace os {

std::vector<Drive> SystemDrives() {
  const auto mounts = PersonsMounts(ReadWholeFile(kMountTable));
  const auto labels = LabelsByDevice();
  std::vector<Drive> drives;
  if (mounts.empty() || mounts.front().mountPath != "/") drives.push_back(Drive{"/", "rootfs"});
  for (const auto& mount : mounts) drives.push_back(Drive{mount.mountPath, LabelOf(mount, labels)});
  return drives;
}

NativeString CurrentDirectoryKeptFor(const Drive& drive) {
  try {
    return CurrentDirectory();
  } catch (const std::system_error& failure) {
    if (failure.code() != std::errc::no_such_file_or_directory) throw;
    return drive.root;  // the current directory has been removed: it lies on no drive
  }
}

}  // namespace os
}  // namespace sys
