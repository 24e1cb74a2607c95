// What the POSIX and Windows file operations share.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace m32tga {

// Temporary files beside a target start with this; the dot hides them on POSIX.
inline constexpr char kTemporaryPrefix[] = ".pellicar-";

// The offset with which ReplacingFile::Write writes on where the last write ended.
inline constexpr std::uint64_t kWhereItEnded = UINT64_MAX;

// The folder a file is in, "." for a bare name.
std::filesystem::path FolderOf(const std::filesystem::path& file);

// Another program shortened the file after we learnt its size.
std::string ShortenedMessage(std::uint64_t end, std::uint64_t sizeWhenOpened);

}  // namespace m32tga
