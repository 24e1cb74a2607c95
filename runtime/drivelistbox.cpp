#include "drivelistbox.h"

#include <QSignalBlocker>

#include "strings.h"
#include "system/directory.h"
#include "system/drives.h"

namespace runtime {
namespace {

QString DesignationOfDriveOf(const QString& path, const std::vector<sys::Drive>& drives) {
  const sys::Drive* drive = sys::DriveOf(ToNative(path), drives);
  return drive ? FromNative(sys::Designation(*drive)) : QString();
}

}  // namespace

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent) {
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  fill(DesignationOfDriveOf(FromNative(sys::CurrentDirectory()), sys::Drives()));
  connect(this, &QComboBox::currentIndexChanged, this, [this] {
    if (!filling_) emit Change();
  });
}

void DriveListBox::fill(const QString& current) {
  filling_ = true;
  clear();
  for (const auto& drive : sys::Drives()) addItem(FromNative(sys::Designation(drive)));
  // A drive that has gone since it was picked stays shown until another is picked.
  if (!current.isEmpty() && findText(current, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) addItem(current);
  setCurrentIndex(findText(current, Qt::MatchExactly | Qt::MatchCaseSensitive));
  filling_ = false;
}

void DriveListBox::setDrive(const QString& path) {
  const QString designation = DesignationOfDriveOf(path, sys::Drives());
  if (designation.isEmpty() || designation == drive()) return;
  if (findText(designation, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) fill(drive());
  setCurrentIndex(findText(designation, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void DriveListBox::showPopup() {
  fill(drive());
  QComboBox::showPopup();
}

}  // namespace runtime
