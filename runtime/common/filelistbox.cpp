#include "runtime/filelistbox.h"

#include "backend.h"
#include "runtime/error.h"
#include "runtime/strings.h"

namespace runtime {

FileListBox::FileListBox(Form& form) : Control(form, backend::MakeFileList(form)), path_(common::StartingDirectory()) {}

std::u16string FileListBox::path() const { return path_; }

void FileListBox::setPath(const std::u16string& directory) {
  show(directory, common::ReadFileList(directory, pattern_));
}

std::u16string FileListBox::pattern() const { return pattern_; }

void FileListBox::setPattern(const std::u16string& pattern) {
  pattern_ = pattern;
  try {
    setPath(path_);
  } catch (const Error&) {
    show(path_, {});  // the directory has gone: nothing of it matches
  }
}

int FileListBox::listCount() const { return static_cast<int>(names_.size()); }

std::u16string FileListBox::list(int index) const { return names_.at(static_cast<std::size_t>(index)); }

bool FileListBox::selected(int index) const {
  return index >= 0 && index < listCount() && backend::IsFileSelected(peer(), index);
}

void FileListBox::setSelected(int index, bool selected) {
  if (index >= 0 && index < listCount()) backend::SelectFile(peer(), index, selected);
}

void FileListBox::show(const std::u16string& directory, std::vector<std::u16string> names) {
  path_ = directory;
  names_ = std::move(names);
  std::vector<std::u16string> shown;
  shown.reserve(names_.size());
  for (const auto& name : names_) shown.push_back(ForDisplay(name));
  backend::ShowFiles(peer(), shown);
}

}  // namespace runtime
