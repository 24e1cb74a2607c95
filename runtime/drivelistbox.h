#pragma once
// A drop-down list of the drives, showing the drive of the current directory at first.
#include <string>
#include <vector>

#include "control.h"

namespace runtime {

class DriveListBox : public Control {
 public:
  explicit DriveListBox(Form& form);

  // The current drive as the list names it (system/: sys::Designation).
  std::u16string drive() const;
  // Moves the list to the drive of `path`; Change follows when that is another drive.
  void setDrive(const std::u16string& path);
  // The same without Change: for a directory list that has moved onto another drive by
  // itself, as it does when it opens an ancestor of a drive's mount path.
  void showDriveOf(const std::u16string& path);

  int listCount() const;
  std::u16string list(int index) const;
  // Reads the drives again, as the list does whenever it drops down.
  void refresh();

  Event Change;

 private:
  void fill(const std::u16string& current);
  void pick(int index);

  std::u16string drive_;
  std::vector<std::u16string> designations_;
};

}  // namespace runtime
