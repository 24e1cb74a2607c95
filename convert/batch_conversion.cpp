// The Convert button: every selected file, in list order, goes through the converter,
// one run after another.
#include "runtime/busy.h"
#include "runtime/strings.h"
#include "ui/frmPellicar.h"

namespace {

const QString kConverter = QStringLiteral("Pellicar.exe ");

}  // namespace

void frmPellicar::Command1_Click() {
  runtime::BusyScope busy(busy_);
  const int lastIndex = File1->listCount() - 1;  // the entries there are now, and no others
  for (int i = 0; i <= lastIndex && !busy_.closeRequested(); ++i) {
    if (!File1->selected(i)) continue;
    QString fullPath = runtime::JoinPath(File1->path(), File1->list(i));
    QString shortPath = GetShortPath(fullPath);
    if (shortPath.isEmpty()) {
      qWarning("%s: no such file any more; not converted", qPrintable(runtime::ForDisplay(fullPath)));
      continue;
    }
    QString cmdline = kConverter + shortPath;
    ExecCmd(cmdline);
  }
}  // a close asked for meanwhile is carried out as the busy time ends
