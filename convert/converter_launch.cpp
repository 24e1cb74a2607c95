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
  try {
    return runtime::FromNative(sys::ShortPath(runtime::ToNative(strFileName)));
  } catch (const std::system_error& failure) {
    qWarning("%s", failure.what());
    return {};  // the file cannot be reached: like a file that is not there, it is not converted
  }
}

void frmPellicar::ExecCmd(QString& cmdline) {
  std::error_code error;
  sys::ProcessInformation process = sys::CreateProcess(runtime::ToNative(cmdline), error);
  if (error) {
    qWarning("%s: cannot start: %s", qPrintable(runtime::ForDisplay(cmdline)), error.message().c_str());
  }
  while (!sys::WaitForProcess(process, kRepaintIntervalMs)) runtime::DoEvents();
  sys::CloseProcess(process);
}
