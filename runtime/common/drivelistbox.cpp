#include "runtime/drivelistbox.h"

#include <algorithm>

#include "backend.h"
#include "runtime/error.h"

namespace runtime {

DriveListBox::DriveListBox(Form& form)
    : Control(form, backend::MakeDriveList(
                        form, [this](int index) { pick(index); }, [this] { refresh(); })) {
  fill(common::DesignationOfDriveOf(common::StartingDirectory()));
}

std::u16string DriveListBox::drive() const { return drive_; }

int DriveListBox::listCount() const { return static_cast<int>(designations_.size()); }

std::u16string DriveListBox::list(int index) const { return designations_.at(static_cast<std::size_t>(index)); }

void DriveListBox::fill(const std::u16string& current) {
  designations_ = common::DriveDesignations(current);
  drive_ = current;
  const auto found = std::find(designations_.begin(), designations_.end(), current);
  backend::ShowDrives(peer(), designations_, current.empty() ? -1 : static_cast<int>(found - designations_.begin()));
}

void DriveListBox::refresh() { fill(drive_); }

void DriveListBox::pick(int index) {
  if (index < 0 || index >= listCount() || list(index) == drive_) return;
  drive_ = list(index);
  Raise(Change);
}

void DriveListBox::showDriveOf(const std::u16string& path) {
  const auto designation = common::DesignationOfDriveOf(path);
  if (!designation.empty() && designation != drive_) fill(designation);
}

void DriveListBox::setDrive(const std::u16string& path) {
  const auto designation = common::DesignationOfDriveOf(path);
  if (designation.empty() || designation == drive_) return;
  fill(designation);
  Raise(Change);
}

}  // namespace runtime
