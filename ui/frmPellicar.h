#pragma once
// The program's one window: the credits block across the top, a drive list above a
// directory list, the m32 files of the open directory, and the Convert button.
#include <array>
#include <string>

#include "runtime/commandbutton.h"
#include "runtime/dirlistbox.h"
#include "runtime/drivelistbox.h"
#include "runtime/filelistbox.h"
#include "runtime/form.h"
#include "runtime/label.h"
#include "runtime/picturebox.h"

class frmPellicar : public runtime::Form {
 public:
  frmPellicar();

  // Declared in tab order, which is also the order in which they are created.
  runtime::DriveListBox Drive1{*this};
  runtime::DirListBox Dir1{*this};
  runtime::FileListBox File1{*this};
  runtime::CommandButton Command1{*this};
  std::array<runtime::Label, 3> Label2{runtime::Label{*this}, runtime::Label{*this}, runtime::Label{*this}};
  runtime::PictureBox Picture1{*this};

  // The short form of a path, which stands unquoted as one word on a command line;
  // empty when the file has none.
  std::u16string GetShortPath(std::u16string& strFileName);
  // Runs a command line and returns once that process has ended (at once when it
  // cannot be started). The window keeps painting meanwhile.
  void ExecCmd(std::u16string& cmdline);

  void Drive1_Change();
  void Dir1_Change();
  void Command1_Click();

 protected:
  bool QueryUnload() override;

 private:
  void OpenNearestReadableAncestor();

  bool batchRunning_ = false;
  bool closeRequested_ = false;
};
