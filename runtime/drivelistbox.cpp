#include "drivelistbox.h"

#include <QSignalBlocker>
#include <system_error>

#include "strings.h"
#include "system/directory.h"
#include "system/drives.h"

namespace runtime {
namespace {

QString DesignationOfDriveOf(const QString& path, const std::vector<sys::Drive>& drives) {
  const sys::Drive* drive = sys::DriveOf(ToNative(path), drives);
  return drive ? FromNative(sys::Designation(*drive)) : QString();
}

// The drives the system reports; where it cannot say, the drive of the start directory.
std::vector<sys::Drive> KnownDrives() {
  try {
    return sys::Drives();
  } catch (const std::system_error& failure) {
    qWarning("%s; showing the start directory's drive alone", failure.what());
    const auto start = StartDirectory();
    return {sys::Drive{start.substr(0, sys::RootLength(start)), {}}};
  }
}

}  // namespace

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent) {
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  const auto drives = KnownDrives();
  fill(drives, DesignationOfDriveOf(FromNative(StartDirectory()), drives));
  connect(this, &QComboBox::currentIndexChanged, this, &DriveListBox::Change);
}

int DriveListBox::indexOf(const QString& designation) const {
  return findText(designation, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void DriveListBox::fill(const std::vector<sys::Drive>& drives, const QString& current) {
  const QSignalBlocker quiet(this);
  clear();
  for (const auto& drive : drives) addItem(FromNative(sys::Designation(drive)));
  // A drive that has gone since it was picked stays shown until another is picked.
  if (!current.isEmpty() && indexOf(current) < 0) addItem(current);
  setCurrentIndex(indexOf(current));
}

void DriveListBox::showDriveOf(const QString& path) {
  const QSignalBlocker quiet(this);
  setDrive(path);
}

void DriveListBox::setDrive(const QString& path) {
  const auto drives = KnownDrives();
  const QString designation = DesignationOfDriveOf(path, drives);
  if (designation.isEmpty() || designation == drive()) return;
  if (indexOf(designation) < 0) fill(drives, drive());
  setCurrentIndex(indexOf(designation));
}

void DriveListBox::showPopup() {
  fill(KnownDrives(), drive());
  QComboBox::showPopup();
}

}  // namespace runtime
