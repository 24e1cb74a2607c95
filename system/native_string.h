#pragma once
// Strings as the operating system takes them. On POSIX a path is a run of bytes that
// need not be valid UTF-8; inside the program it is UTF-16. Bytes that are not valid
// UTF-8 travel as the lone surrogates U+DC80..U+DCFF, so every name survives the
// round trip byte for byte.
#include <string>
#include <string_view>

namespace sys {

using NativeString = std::string;

NativeString ToNative(std::u16string_view text);
std::u16string FromNative(std::string_view bytes);

// The text for showing a name: each byte that stood for itself becomes U+FFFD.
std::u16string ForDisplay(std::u16string_view text);

}  // namespace sys
