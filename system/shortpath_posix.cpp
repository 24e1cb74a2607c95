#include "shortpath.h"

#include <sys/stat.h>

#include "directory.h"

namespace sys {
namespace {

constexpr std::string_view kWordBreakers = " \t\n\r\\\"'";

NativeString EscapedAsOneWord(std::string_view path) {
  NativeString word;
  word.reserve(path.size() + path.size() / 8);
  for (char c : path) {
    if (kWordBreakers.find(c) != std::string_view::npos) word += '\\';
    word += c;
  }
  return word;
}

}  // namespace

NativeString GetShortPathName(const NativeString& longPath) {
  struct stat st {};
  if (longPath.empty() || stat(longPath.c_str(), &st) != 0) return {};
  const bool absolute = longPath.front() == kSeparator;
  return EscapedAsOneWord(absolute ? longPath : JoinPath(CurrentDirectory(), longPath));
}

}  // namespace sys
