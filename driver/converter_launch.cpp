// Running the converter: the short form of a path, and starting a command line and
// waiting for its end.
#include <cstdio>

#include "runtime/busy.h"
#include "runtime/strings.h"
#include "system/process.h"
#include "system/shortpath.h"
#include "ui/frmPellicar.h"

namespace {

constexpr int kRepaintIntervalMs = 50;

}  // namespace

std::u16string frmPellicar::GetShortPath(std::u16string& strFileName) {
  try {
    return runtime::FromNative(sys::ShortPath(runtime::ToNative(strFileName)));
  } catch (const std::system_error& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    return {};  // the file cannot be reached: like a file that is not there, it is not converted
  }
}

void frmPellicar::ExecCmd(std::u16string& cmdline) {
  std::error_code error;
  sys::ProcessInformation process = sys::CreateProcess(runtime::ToNative(cmdline), error);
  if (error) std::fprintf(stderr, "%s: cannot start: %s\n", runtime::ToUtf8(cmdline).c_str(), error.message().c_str());
  while (!sys::WaitForProcess(process, kRepaintIntervalMs)) runtime::DoEvents();
  sys::CloseProcess(process);
}
