#pragma once
// The open directory with its ancestors above it and its sub-directories below, each
// indented one step deeper than its parent. A double-click or Enter opens the
// highlighted directory; a single click or the arrow keys only highlight.
#include <string>
#include <vector>

#include "common/lists.h"
#include "control.h"

namespace runtime {

class DirListBox : public Control {
 public:
  explicit DirListBox(Form& form);

  // The open directory.
  std::u16string path() const;
  // Opens `path`; given a drive as the drive list names it, opens that drive's current
  // directory. Throws Error, changing nothing, when the directory cannot be listed.
  // Change follows when the open directory is another.
  void setPath(const std::u16string& path);

  // The entries, the root first: the full path of each directory shown.
  int listCount() const;
  std::u16string list(int index) const;
  // The highlighted entry.
  int listIndex() const;
  void setListIndex(int index);

  Event Change;

 private:
  void open(const std::u16string& directory);
  void openEntry(int index);
  void show(const std::u16string& directory, std::vector<common::DirectoryEntry> entries);

  std::u16string path_;
  std::vector<common::DirectoryEntry> entries_;
};

}  // namespace runtime
