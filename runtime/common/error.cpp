#include "runtime/error.h"

#include <cstdio>
#include <cstdlib>

#include "runtime/form.h"
#include "runtime/msgbox.h"
#include "runtime/strings.h"
#include "system/error.h"

namespace runtime {
namespace {

enum ErrorNumber {
  kDeviceIoError = 57,
  kDeviceUnavailable = 68,
  kPermissionDenied = 70,
  kPathFileAccessError = 75,
  kPathNotFound = 76,
};

std::pair<int, const char16_t*> Classify(const std::error_code& code) {
  using std::errc;
  if (code == errc::no_such_file_or_directory || code == errc::not_a_directory)
    return {kPathNotFound, u"Path not found"};
  if (code == errc::permission_denied || code == errc::operation_not_permitted)
    return {kPermissionDenied, u"Permission denied"};
  if (code == errc::io_error) return {kDeviceIoError, u"Device I/O error"};
  if (code == errc::no_such_device || code == errc::no_such_device_or_address || code == sys::Condition::kDriveNotReady)
    return {kDeviceUnavailable, u"Device unavailable"};
  return {kPathFileAccessError, u"Path/File access error"};
}

std::u16string& Title() {
  static std::u16string title;
  return title;
}

}  // namespace

void Application::setTitle(const std::u16string& title) { Title() = title; }

Error::Error(int number, const std::u16string& description)
    : std::runtime_error(ToUtf8(description)), number_(number), description_(description) {}

Error ErrorFrom(const std::system_error& failure) {
  const auto [number, title] = Classify(failure.code());
  // what() is "<path>: <reason>" in UTF-8, where a POSIX path keeps its bytes as they are.
  return Error(number, title + std::u16string(u": ") + ForDisplay(FromUtf8(failure.what())));
}

void OnErrorResumeNext(const std::function<void()>& statement) {
  try {
    statement();
  } catch (const Error& error) {
    std::fprintf(stderr, "dropped: %s\n", error.what());
  }
}

void RunHandler(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const Error& error) {
    MsgBox({Title(), u"Run-time error '" + NumberText(error.number()) + u"':\n\n" + error.description(),
            MsgBoxIcon::kCritical});
    std::exit(EXIT_FAILURE);
  }
}

void Raise(const Event& event) {
  if (event) RunHandler(event);
}

}  // namespace runtime
