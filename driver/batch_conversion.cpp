// The Convert button: every selected file, in list order, goes through the converter,
// one run after another. The title counts the files; afterwards one message names the
// files that were not converted, and why.
#include "batch_report.h"

#include <system_error>

#include "runtime/busy.h"
#include "runtime/msgbox.h"
#include "runtime/strings.h"
#include "ui/frmPellicar.h"

namespace {

const std::u16string kNoSuchFileAnyMore = u"no such file any more";

}  // namespace

void frmPellicar::Command1_Click() {
  const int lastIndex = File1.listCount() - 1;  // the entries there are now, and no others
  const int selected = SelectedCount(lastIndex);
  BatchReport report(selected);
  {
    runtime::BusyScope busy(busy_);
    for (int i = 0, number = 0; i <= lastIndex && !busy_.closeRequested(); ++i) {
      if (!File1.selected(i)) continue;
      busy_.setCaption(kCaption + u" - " + runtime::NumberText(++number) + u" of " + runtime::NumberText(selected));
      std::u16string fullPath = runtime::JoinPath(File1.path(), File1.list(i));
      std::u16string shortPath;
      try {
        shortPath = GetShortPath(fullPath);
      } catch (const std::system_error& failure) {  // the file is there but cannot be reached
        report.addFailure(File1.list(i), runtime::FromUtf8(failure.code().message()));
        continue;
      }
      if (shortPath.empty()) {
        report.addFailure(File1.list(i), kNoSuchFileAnyMore);
        continue;
      }
      std::u16string cmdline = std::u16string(kConverterProgram) + u" " + shortPath;
      if (std::u16string reason = FailureReason(ExecCmd(cmdline), fullPath); !reason.empty())
        report.addFailure(File1.list(i), reason);
    }
  }  // the window's caption is back, and a close asked for meanwhile is carried out
  if (report.anyFailed() && !busy_.closeRequested())
    runtime::MsgBox({kCaption, report.message(), runtime::MsgBoxIcon::kWarning});
}

int frmPellicar::SelectedCount(int lastIndex) const {
  int count = 0;
  for (int i = 0; i <= lastIndex; ++i) count += File1.selected(i) ? 1 : 0;
  return count;
}
