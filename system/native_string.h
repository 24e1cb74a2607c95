#pragma once
// Strings as the operating system takes them: bytes on POSIX, UTF-16 on Windows. Inside
// the program text is UTF-16. On POSIX a name need not be valid UTF-8; bytes that are
// not travel as the lone surrogates U+DC80..U+DCFF, so that every name survives the
// round trip byte for byte.
#include <string>
#include <string_view>

namespace sys {

#ifdef _WIN32
using NativeChar = wchar_t;
#else
using NativeChar = char;
#endif
using NativeString = std::basic_string<NativeChar>;
using NativeStringView = std::basic_string_view<NativeChar>;

// UTF-8 and back, keeping bytes that are not UTF-8 as lone surrogates and back.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view bytes);

NativeString ToNative(std::u16string_view text);
std::u16string FromNative(NativeStringView text);

// UTF-16's surrogates: a pair of them, high then low, stands for one character beyond
// the BMP, and a text is never cut between the two.
constexpr bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// What stands for the part of a text left out where it is shortened to show.
inline constexpr char16_t kEllipsis = 0x2026;

// ASCII text, such as a fixed part of a name, as a native string.
inline NativeString NativeFromAscii(std::string_view ascii) { return NativeString(ascii.begin(), ascii.end()); }

// The text for showing a name or a message on one line, the one rule of every program
// here: each lone surrogate (a byte that is not UTF-8 on POSIX) and each control
// character becomes U+FFFD.
std::u16string ForDisplay(std::u16string_view text);

}  // namespace sys
