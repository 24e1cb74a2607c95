#include "file_io.h"

#include <system_error>

#include "file_io_shared.h"
#include "number_text.h"

namespace m32tga {

std::filesystem::path FolderOf(const std::filesystem::path& file) {
  const std::filesystem::path parent = file.parent_path();
  return parent.empty() ? std::filesystem::path(".") : parent;
}

std::string ShortenedMessage(std::uint64_t end, std::uint64_t sizeWhenOpened) {
  return "changed while being read: ends at byte " + WithSeparators(end) + " of " + WithSeparators(sizeWhenOpened);
}

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
  const std::optional<FileFacts> facts = FactsOf(path);
  if (!facts) return std::nullopt;
  return facts->identity;
}

bool NamesFolder(const std::filesystem::path& path) {
  std::error_code ignored;
  return !path.has_filename() || std::filesystem::is_directory(path, ignored);
}

std::string DisplayName(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::u8string utf8 = path.u8string();
  std::string shown(utf8.begin(), utf8.end());
#else
  std::string shown = path.native();
#endif
  constexpr unsigned char kFirstPrintable = 0x20;
  constexpr unsigned char kDelete = 0x7F;
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < kFirstPrintable || byte == kDelete) c = '?';
  }
  return shown;
}

}  // namespace m32tga
