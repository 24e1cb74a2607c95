#pragma once
#include <QString>
#include <system_error>

#include "system/directory.h"
#include "system/drives.h"
#include "system/native_string.h"

namespace runtime {

inline sys::NativeString ToNative(const QString& text) { return sys::ToNative(text.toStdU16String()); }
inline QString FromNative(const sys::NativeString& bytes) { return QString::fromStdU16String(sys::FromNative(bytes)); }
inline QString ForDisplay(const QString& text) {
  return QString::fromStdU16String(sys::ForDisplay(text.toStdU16String()));
}

inline QString JoinPath(const QString& directory, const QString& name) {
  return FromNative(sys::JoinPath(ToNative(directory), ToNative(name)));
}
inline QString ParentPath(const QString& path) { return FromNative(sys::ParentDirectory(ToNative(path))); }

// Where the lists start: the process's current directory, or the first drive's root
// when it has none (it has been removed).
inline sys::NativeString StartDirectory() {
  try {
    return sys::CurrentDirectory();
  } catch (const std::system_error& failure) {
    qWarning("%s; starting at the first drive", failure.what());
    return sys::Drives().front().root;
  }
}

}  // namespace runtime
