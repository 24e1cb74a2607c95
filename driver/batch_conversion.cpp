// The Convert button: every selected file, in list order, goes through the converter,
// one run after another.
#include <cstdio>

#include "runtime/busy.h"
#include "runtime/strings.h"
#include "ui/frmPellicar.h"

namespace {

const std::u16string kConverter = u"Pellicar.exe ";

}  // namespace

void frmPellicar::Command1_Click() {
  runtime::BusyScope busy(*this);
  batchRunning_ = true;
  closeRequested_ = false;
  const int lastIndex = File1.listCount() - 1;  // the entries there are now, and no others
  for (int i = 0; i <= lastIndex && !closeRequested_; ++i) {
    if (!File1.selected(i)) continue;
    std::u16string fullPath = runtime::JoinPath(File1.path(), File1.list(i));
    std::u16string shortPath = GetShortPath(fullPath);
    if (shortPath.empty()) {
      std::fprintf(stderr, "%s: no such file any more; not converted\n", runtime::ToUtf8(fullPath).c_str());
      continue;
    }
    std::u16string cmdline = kConverter + shortPath;
    ExecCmd(cmdline);
  }
  batchRunning_ = false;
  if (closeRequested_) close();
}
