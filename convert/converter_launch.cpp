// Running the converter: the short form of a path, and starting a command line and
// waiting for its end.
#include "runtime/busy.h"
#include "runtime/strings.h"
#include "system/process.h"
#include "system/shortpath.h"
#include "ui/frmPellicar.h"

namespace {

constexpr int kRepaintIntervalMs = 50;

}  // namespace

QString frmPellicar::GetShortPath(QString& strFileName) {
  return runtime::FromNative(sys::GetShortPathName(runtime::ToNative(strFileName)));
}

void frmPellicar::ExecCmd(QString& cmdline) {
  sys::Process process = sys::StartProcess(runtime::ToNative(cmdline));
  while (!sys::WaitForProcess(process, kRepaintIntervalMs)) runtime::DoEvents();
  const sys::ProcessResult result = sys::CloseProcess(process);
  if (result.ending == sys::ProcessResult::Ending::NotStarted) {
    qWarning("%s: cannot start: %s", qPrintable(runtime::ForDisplay(cmdline)), result.startError.message().c_str());
  }
}
