#include "dirlistbox.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <system_error>

#include "error.h"
#include "strings.h"
#include "system/directory.h"
#include "system/drives.h"

namespace runtime {
namespace {

constexpr int kPathRole = Qt::UserRole;

// A drive named as the drive list names it stands for the drive's current directory.
sys::NativeString ResolveDrive(const sys::NativeString& path) {
  const auto drives = sys::Drives();
  for (const auto& drive : drives) {
    if (sys::Designation(drive) == path) return sys::CurrentDirectoryOn(drive, drives);
  }
  return path;
}

// The directory itself and each directory above it, the root first.
std::vector<sys::NativeString> Lineage(const sys::NativeString& directory) {
  std::vector<sys::NativeString> lineage{directory};
  while (lineage.front() != sys::ParentDirectory(lineage.front()))
    lineage.insert(lineage.begin(), sys::ParentDirectory(lineage.front()));
  return lineage;
}

QTreeWidgetItem* MakeItem(const sys::NativeString& directory, const QIcon& icon) {
  auto* item = new QTreeWidgetItem(QStringList(ForDisplay(FromNative(sys::LastName(directory)))));
  item->setIcon(0, icon);
  item->setData(0, kPathRole, FromNative(directory));
  return item;
}

}  // namespace

DirListBox::DirListBox(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setIndentation(10);
  setUniformRowHeights(true);
  connect(this, &QTreeWidget::itemDoubleClicked, this, &DirListBox::openItem);
  const auto current = StartDirectory();
  try {
    showListing(current, sys::ListSubdirectories(current));
  } catch (const std::system_error&) {
    showListing(current, {});  // an unreadable start shows where it is, with nothing below
  }
}

void DirListBox::setPath(const QString& path) {
  open(sys::WithoutTrailingSeparators(Checked([&] { return ResolveDrive(ToNative(path)); })));
}

void DirListBox::open(const sys::NativeString& directory) {
  const auto subdirectories = Checked([&] { return sys::ListSubdirectories(directory); });
  const bool changed = directory != ToNative(path_);
  showListing(directory, subdirectories);
  if (changed) emit Change();
}

void DirListBox::openItem(const QTreeWidgetItem* item) {
  if (!item) return;
  try {
    open(ToNative(item->data(0, kPathRole).toString()));
  } catch (const Error& error) {
    qWarning("%s", error.what());  // a directory that cannot be listed is not opened
  }
}

void DirListBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    openItem(currentItem());
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void DirListBox::showListing(const sys::NativeString& directory, const std::vector<sys::NativeString>& subdirectories) {
  path_ = FromNative(directory);
  clear();
  const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
  QTreeWidgetItem* parent = nullptr;
  for (const auto& ancestor : Lineage(directory)) {
    auto* item = MakeItem(ancestor, openIcon);
    parent ? parent->addChild(item) : addTopLevelItem(item);
    parent = item;
  }
  for (const auto& name : subdirectories) parent->addChild(MakeItem(sys::JoinPath(directory, name), closedIcon));
  expandAll();
  setCurrentItem(parent);
}

}  // namespace runtime
