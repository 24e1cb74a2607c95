#include "runtime/dirlistbox.h"

#include <cstdio>

#include "backend.h"
#include "runtime/error.h"

namespace runtime {

DirListBox::DirListBox(Form& form)
    : Control(form, backend::MakeDirList(form, [this](int index) { openEntry(index); })) {
  const auto start = common::StartingDirectory();
  show(start, common::ReadStartingDirectoryList(start));
}

std::u16string DirListBox::path() const { return path_; }

void DirListBox::setPath(const std::u16string& path) { open(common::DirectoryFor(path)); }

int DirListBox::listCount() const { return static_cast<int>(entries_.size()); }

std::u16string DirListBox::list(int index) const { return entries_.at(static_cast<std::size_t>(index)).path; }

int DirListBox::listIndex() const { return backend::HighlightedDirectory(peer()); }

void DirListBox::setListIndex(int index) { backend::HighlightDirectory(peer(), index); }

void DirListBox::open(const std::u16string& directory) {
  auto entries = common::ReadDirectoryList(directory);
  const bool changed = directory != path_;
  show(directory, std::move(entries));
  if (changed) Raise(Change);
}

void DirListBox::openEntry(int index) {
  if (index < 0 || index >= listCount()) return;
  try {
    open(list(index));
  } catch (const Error& error) {
    std::fprintf(stderr, "%s\n", error.what());  // a directory that cannot be listed is not opened
  }
}

void DirListBox::show(const std::u16string& directory, std::vector<common::DirectoryEntry> entries) {
  path_ = directory;
  entries_ = std::move(entries);
  backend::ShowDirectories(peer(), entries_, common::OpenIndex(entries_));
}

}  // namespace runtime
