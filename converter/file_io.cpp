#include "file_io.h"

#include <system_error>

#include "file_io_shared.h"
#include "system/native_string.h"
#include "system/number_text.h"

namespace m32tga {

std::filesystem::path FolderOf(const std::filesystem::path& file) {
  const std::filesystem::path parent = file.parent_path();
  return parent.empty() ? std::filesystem::path(".") : parent;
}

std::string ShortenedMessage(std::uint64_t end, std::uint64_t sizeWhenOpened) {
  return "changed while being read: ends at byte " + sys::WithSeparators(end) + " of " +
         sys::WithSeparators(sizeWhenOpened);
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
  return sys::ToUtf8(sys::ForDisplay(sys::FromNative(path.native())));
}

}  // namespace m32tga
