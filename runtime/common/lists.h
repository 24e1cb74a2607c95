#pragma once
// What the drive, directory and file lists show, read from system/ the same way on every
// backend. The backends only put it on the screen.
#include <string>
#include <vector>

namespace runtime::common {

// The designations of the drives mounted now, `current` among them even when its drive
// has gone since it was picked.
std::vector<std::u16string> DriveDesignations(const std::u16string& current);

// The designation of the drive of `path`; empty when no drive holds it.
std::u16string DesignationOfDriveOf(const std::u16string& path);

// One line of the directory list.
struct DirectoryEntry {
  std::u16string path;  // the full path
  std::u16string name;  // what the line shows
  int level = 0;        // indent steps: the root is 0
  bool open = false;    // the open directory or one of its ancestors
};

// The directory a path given to the directory list stands for: a drive's designation
// stands for that drive's current directory; trailing separators go, except the root's.
std::u16string DirectoryFor(const std::u16string& path);

// The ancestors of `directory`, the root first, then `directory`, then its
// sub-directories one step deeper. Throws Error when `directory` cannot be listed.
std::vector<DirectoryEntry> ReadDirectoryList(const std::u16string& directory);
// The same for a directory shown where the list starts: one that cannot be listed
// shows where it is, with nothing below.
std::vector<DirectoryEntry> ReadStartingDirectoryList(const std::u16string& directory);

// The index of the open directory in a list read by ReadDirectoryList.
int OpenIndex(const std::vector<DirectoryEntry>& entries);

// The names of the files in `directory` that match `pattern`, in name order. Throws
// Error when the directory cannot be read.
std::vector<std::u16string> ReadFileList(const std::u16string& directory, const std::u16string& pattern);

// Where every list starts: the directory StartListsIn chose, else the process's
// current directory.
std::u16string StartingDirectory();

}  // namespace runtime::common
