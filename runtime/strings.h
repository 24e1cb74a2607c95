#pragma once
#include <QString>

#include "system/directory.h"
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

}  // namespace runtime
