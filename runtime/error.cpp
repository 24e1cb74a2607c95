#include "error.h"

#include <QApplication>
#include <QMessageBox>
#include <cerrno>
#include <cstdlib>

#include "strings.h"

namespace runtime {
namespace {

enum ErrorNumber {
  kDeviceIoError = 57,
  kDeviceUnavailable = 68,
  kPermissionDenied = 70,
  kPathFileAccessError = 75,
  kPathNotFound = 76,
};

std::pair<int, const char*> Classify(int code) {
  switch (code) {
    case ENOENT:
    case ENOTDIR: return {kPathNotFound, "Path not found"};
    case EACCES:
    case EPERM: return {kPermissionDenied, "Permission denied"};
    case EIO: return {kDeviceIoError, "Device I/O error"};
    case ENODEV:
    case ENXIO:
    case ESTALE:
    case ENOMEDIUM: return {kDeviceUnavailable, "Device unavailable"};
    default: return {kPathFileAccessError, "Path/File access error"};
  }
}

}  // namespace

Error::Error(int number, const QString& description) : std::runtime_error(description.toStdString()), number_(number) {}

Error ErrorFrom(const std::system_error& failure) {
  const auto [number, title] = Classify(failure.code().value());
  // what() is "<path>: <reason>"; the path is bytes and is shown as such.
  return Error(number, QStringLiteral("%1: %2").arg(QLatin1String(title), ForDisplay(FromNative(failure.what()))));
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
