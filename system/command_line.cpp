#include "command_line.h"

#include <string_view>
#include <type_traits>

namespace sys {
namespace {

bool IsOneOf(NativeChar c, std::string_view set) {
  return static_cast<std::make_unsigned_t<NativeChar>>(c) < 0x80 && set.find(static_cast<char>(c)) != set.npos;
}

}  // namespace

NativeString EscapedAsOneWord(NativeStringView text) {
  NativeString word;
  word.reserve(text.size() + text.size() / 8);
  for (NativeChar c : text) {
    if (IsOneOf(c, " \t\n\r\\\"'")) word += '\\';
    word += c;
  }
  return word;
}

std::vector<NativeString> SplitCommandLine(NativeStringView commandLine) {
  std::vector<NativeString> words;
  NativeString word;
  bool inWord = false;
  for (std::size_t i = 0; i < commandLine.size(); ++i) {
    const NativeChar c = commandLine[i];
    if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      continue;
    }
    if (c == '\\' && i + 1 < commandLine.size()) ++i;
    word += commandLine[i];
    inWord = true;
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

NativeString QuotedAsOneArgument(NativeStringView text) {
  bool plain = !text.empty();
  for (NativeChar c : text) plain = plain && !IsOneOf(c, " \t\n\v\"");
  if (plain) return NativeString(text);
  NativeString quoted(1, '"');
  std::size_t backslashes = 0;
  for (NativeChar c : text) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes stand for themselves unless a quote follows them.
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  quoted += '"';
  return quoted;
}

}  // namespace sys
