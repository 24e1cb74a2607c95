#pragma once
// The open directory with its ancestors above it and its sub-directories below, each
// indented one step deeper than its parent. A double-click or Enter opens the
// highlighted directory; a single click or the arrow keys only highlight.
#include <QString>
#include <QTreeWidget>

#include "system/native_string.h"

namespace runtime {

class DirListBox : public QTreeWidget {
  Q_OBJECT

 public:
  explicit DirListBox(QWidget* parent = nullptr);

  // The open directory.
  QString path() const { return path_; }
  // Opens `path`; given a drive as the drive list names it, opens that drive's current
  // directory. Throws Error, changing nothing, when the directory cannot be listed.
  // Change follows when the open directory is another.
  void setPath(const QString& path);

 signals:
  void Change();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // The indentation alone shows the nesting; there is nothing to fold.
  void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

 private:
  void open(const sys::NativeString& directory);
  void openItem(const QTreeWidgetItem* item);
  void showListing(const sys::NativeString& directory, const std::vector<sys::NativeString>& subdirectories);

  QString path_;
};

}  // namespace runtime
