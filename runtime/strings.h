#pragma once
// Strings at the form's level are UTF-16; system/ takes the platform's own.
#include <string>
#include <string_view>

#include "system/directory.h"
#include "system/native_string.h"
#include "system/number_text.h"

namespace runtime {

inline sys::NativeString ToNative(std::u16string_view text) { return sys::ToNative(text); }
inline std::u16string FromNative(const sys::NativeString& text) { return sys::FromNative(text); }
// The text for showing a name; see sys::ForDisplay.
inline std::u16string ForDisplay(std::u16string_view text) { return sys::ForDisplay(text); }

inline std::u16string JoinPath(std::u16string_view directory, std::u16string_view name) {
  return FromNative(sys::JoinPath(ToNative(directory), ToNative(name)));
}
inline std::u16string ParentPath(std::u16string_view path) { return FromNative(sys::ParentDirectory(ToNative(path))); }

// UTF-8, for messages on the standard streams; see sys::ToUtf8.
inline std::string ToUtf8(std::u16string_view text) { return sys::ToUtf8(text); }
inline std::u16string FromUtf8(std::string_view text) { return sys::FromUtf8(text); }

// A number as the window shows it; see sys::WithSeparators.
inline std::u16string NumberText(long long number) { return FromUtf8(sys::WithSeparators(number)); }

}  // namespace runtime
