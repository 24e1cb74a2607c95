// Running the converter: the short form of a path, and starting a command line and
// waiting for its end.

#include "runtime/busy.h"
#include "runtime/strings.h"
#include "system/process.h"
#include "system/shortpath.h"
#include "ui/frmPellicar.h"

namespace {

// The window handles its events at least this often while a converter runs, and after
// every run.
constexpr int kDoEventsIntervalMs = 10;

}  // namespace

std::u16string frmPellicar::GetShortPath(std::u16string& strFileName) {
  return runtime::FromNative(sys::ShortPath(runtime::ToNative(strFileName)));
}

sys::ProcessResult frmPellicar::ExecCmd(std::u16string& cmdline) {
  sys::Process process = sys::StartProcess(runtime::ToNative(cmdline));
  while (!runtime::WaitForProcessDoingEvents(process, kDoEventsIntervalMs)) {
    if (busy_.sinceCloseRequest() >= kStopAfterClose) sys::StopProcess(process);
  }
  return sys::CloseProcess(process);
}
