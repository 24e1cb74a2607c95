#include "native_string.h"

namespace sys {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // U+DC80..U+DCFF carry the bytes 0x80..0xFF
constexpr char16_t kReplacement = 0xFFFD;

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }
bool IsEscapedByte(char16_t c) { return c >= 0xDC80 && c <= 0xDCFF; }
bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

// Decodes one strictly valid UTF-8 sequence at the front of `bytes`; returns its
// length, or 0 when the first byte does not start one (overlong forms, surrogates
// and values past U+10FFFF are not valid).
std::size_t DecodeUtf8(std::string_view bytes, char32_t& c) {
  const auto b0 = static_cast<unsigned char>(bytes[0]);
  std::size_t length = 0;
  char32_t minimum = 0;
  if (b0 < 0x80) {
    c = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, c = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, c = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, c = b0 & 0x07;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (!IsContinuation(b)) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (IsEscapedByte(u)) {
      out += static_cast<char>(u - kEscapeBase);
    } else if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      AppendUtf8(out, kReplacement);  // a broken pair names no file
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

std::u16string FromUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    char32_t c = 0;
    std::size_t length = DecodeUtf8(bytes, c);
    if (length == 0) {
      out += static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[0]));
      length = 1;
    } else {
      AppendUtf16(out, c);
    }
    bytes.remove_prefix(length);
  }
  return out;
}

#ifdef _WIN32
NativeString ToNative(std::u16string_view text) { return NativeString(text.begin(), text.end()); }
std::u16string FromNative(NativeStringView text) { return std::u16string(text.begin(), text.end()); }
#else
NativeString ToNative(std::u16string_view text) { return ToUtf8(text); }
std::u16string FromNative(NativeStringView text) { return FromUtf8(text); }
#endif

std::u16string ForDisplay(std::u16string_view text) {
  std::u16string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (IsHighSurrogate(out[i]) && i + 1 < out.size() && IsLowSurrogate(out[i + 1]))
      ++i;
    else if (IsHighSurrogate(out[i]) || IsLowSurrogate(out[i]) || IsControl(out[i]))
      out[i] = kReplacement;
  }
  return out;
}

}  // namespace sys
