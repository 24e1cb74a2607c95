#pragma once
// The files of one directory whose names match a pattern, in name order, with extended
// multiple selection.
#include <string>
#include <vector>

#include "control.h"

namespace runtime {

class FileListBox : public Control {
 public:
  explicit FileListBox(Form& form);

  std::u16string path() const;
  // Re-reads `directory`, with nothing selected; on failure throws Error and keeps what
  // it showed.
  void setPath(const std::u16string& directory);

  std::u16string pattern() const;
  void setPattern(const std::u16string& pattern);

  int listCount() const;
  std::u16string list(int index) const;
  bool selected(int index) const;
  void setSelected(int index, bool selected);

 private:
  void show(const std::u16string& directory, std::vector<std::u16string> names);

  std::u16string path_;
  std::u16string pattern_ = u"*.*";
  std::vector<std::u16string> names_;
};

}  // namespace runtime
