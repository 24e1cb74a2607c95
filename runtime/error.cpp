#include "error.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdlib>

#include "strings.h"
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

std::pair<int, const char*> Classify(const std::error_code& code) {
  using std::errc;
  if (code == errc::no_such_file_or_directory || code == errc::not_a_directory)
    return {kPathNotFound, "Path not found"};
  if (code == errc::permission_denied || code == errc::operation_not_permitted)
    return {kPermissionDenied, "Permission denied"};
  if (code == errc::io_error) return {kDeviceIoError, "Device I/O error"};
  if (code == errc::no_such_device || code == errc::no_such_device_or_address || code == sys::Condition::kDriveNotReady)
    return {kDeviceUnavailable, "Device unavailable"};
  return {kPathFileAccessError, "Path/File access error"};
}

}  // namespace

Error::Error(int number, const QString& description) : std::runtime_error(description.toStdString()), number_(number) {}

Error ErrorFrom(const std::system_error& failure) {
  const auto [number, title] = Classify(failure.code());
  // what() is "<path>: <reason>" in UTF-8, where a POSIX path keeps its bytes as they are.
  return Error(number, QStringLiteral("%1: %2").arg(QLatin1String(title), QString::fromUtf8(failure.what())));
}

void OnErrorResumeNext(const std::function<void()>& statement) {
  try {
    statement();
  } catch (const Error& error) {
    qInfo("dropped: %s", error.what());
  }
}

void RunHandler(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const Error& error) {
    QMessageBox::critical(nullptr, QApplication::applicationDisplayName(),
                          QStringLiteral("Run-time error '%1':\n\n%2").arg(error.number()).arg(error.description()));
    std::exit(EXIT_FAILURE);
  }
}

}  // namespace runtime
