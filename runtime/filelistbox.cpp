#include "filelistbox.h"

#include <QAbstractListModel>
#include <QItemSelectionModel>

#include "error.h"
#include "strings.h"
#include "system/directory.h"

namespace runtime {

class FileListModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  void reset(std::vector<sys::NativeString> names) {
    beginResetModel();
    names_.clear();
    names_.reserve(names.size());
    for (const auto& name : names) names_.push_back(FromNative(name));
    endResetModel();
  }

  const QString& name(int row) const { return names_.at(static_cast<std::size_t>(row)); }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(names_.size());
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return ForDisplay(name(index.row()));
  }

 private:
  std::vector<QString> names_;
};

FileListBox::FileListBox(QWidget* parent) : QListView(parent), model_(new FileListModel(this)) {
  setModel(model_);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  path_ = FromNative(StartDirectory());
}

void FileListBox::setPath(const QString& directory) {
  showListing(directory, Checked([&] { return sys::ListFiles(ToNative(directory), ToNative(pattern_)); }));
}

void FileListBox::setPattern(const QString& pattern) {
  pattern_ = pattern;
  try {
    setPath(path_);
  } catch (const Error&) {
    showListing(path_, {});  // the directory has gone: nothing of it matches
  }
}

void FileListBox::showListing(const QString& directory, std::vector<sys::NativeString> names) {
  path_ = directory;
  model_->reset(std::move(names));
}

int FileListBox::listCount() const { return model_->rowCount(); }

QString FileListBox::list(int index) const { return model_->name(index); }

bool FileListBox::selected(int index) const { return selectionModel()->isSelected(model_->index(index)); }

}  // namespace runtime
