#pragma once
// A list of the files of one directory whose names match a pattern, with extended
// multiple selection.
#include <QListView>
#include <QString>
#include <vector>

#include "system/native_string.h"

namespace runtime {

class FileListModel;

class FileListBox : public QListView {
  Q_OBJECT

 public:
  explicit FileListBox(QWidget* parent = nullptr);

  QString path() const { return path_; }
  // Re-reads `directory`; on failure throws Error and keeps what it showed.
  void setPath(const QString& directory);

  QString pattern() const { return pattern_; }
  void setPattern(const QString& pattern);

  int listCount() const;
  QString list(int index) const;
  bool selected(int index) const;

 private:
  void showListing(const QString& directory, std::vector<sys::NativeString> names);

  FileListModel* model_;
  QString path_;
  QString pattern_ = QStringLiteral("*.*");
};

}  // namespace runtime
