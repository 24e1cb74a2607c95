#pragma once
// The program's one window: the credits block across the top, a drive list above a
// directory list, the m32 files of the open directory, and the Convert button.
#include <array>
#include <chrono>
#include <string>

#include "runtime/busy.h"
#include "runtime/commandbutton.h"
#include "runtime/dirlistbox.h"
#include "runtime/drivelistbox.h"
#include "runtime/filelistbox.h"
#include "runtime/form.h"
#include "runtime/label.h"
#include "runtime/picturebox.h"
#include "ui/version.h"

namespace sys {
struct ProcessResult;
}

class frmPellicar : public runtime::Form {
 public:
  frmPellicar();

  inline static const std::u16string kCaption = u"" PELLICAR_TITLE;

  // Declared in tab order, which is also the order in which they are created.
  runtime::DriveListBox Drive1{*this};
  runtime::DirListBox Dir1{*this};
  runtime::FileListBox File1{*this};
  runtime::CommandButton Command1{*this};
  std::array<runtime::Label, 3> Label2{runtime::Label{*this}, runtime::Label{*this}, runtime::Label{*this}};
  runtime::PictureBox Picture1{*this};

  // The short form of a path, which stands on a command line as exactly one argument;
  // empty when there is no such file. Throws std::system_error when the file cannot be
  // reached (access refused, a loop of links).
  std::u16string GetShortPath(std::u16string& strFileName);
  // Runs a command line and returns how that process ended, once it has (at once when
  // it cannot be started). The window keeps painting meanwhile; once it has been asked
  // to close, a process that still runs after kStopAfterClose is stopped.
  sys::ProcessResult ExecCmd(std::u16string& cmdline);
  static constexpr std::chrono::seconds kStopAfterClose{3};

  void Drive1_Change();
  void Dir1_Change();
  void Command1_Click();

 private:
  void OpenNearestReadableAncestor();

  int SelectedCount(int lastIndex) const;

  runtime::Busy busy_{*this};
};
