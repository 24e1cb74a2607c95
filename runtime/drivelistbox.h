#pragma once
// A drop-down list of the drives, showing the drive of the current directory at first.
#include <QComboBox>
#include <QString>
#include <vector>

#include "system/drives.h"

namespace runtime {

class DriveListBox : public QComboBox {
  Q_OBJECT

 public:
  explicit DriveListBox(QWidget* parent = nullptr);

  // The current drive as the list names it: mount path, then the label in brackets.
  QString drive() const { return currentText(); }
  // Moves the list to the drive of `path`; Change follows when that is another drive.
  void setDrive(const QString& path);
  // The same without Change: for a directory list that has moved onto another drive by
  // itself, as it does when it opens an ancestor of a drive's mount path.
  void showDriveOf(const QString& path);

  // Lists the drives mounted at the moment the list opens.
  void showPopup() override;

 signals:
  void Change();

 private:
  void fill(const std::vector<sys::Drive>& drives, const QString& current);
  int indexOf(const QString& designation) const;
};

}  // namespace runtime
