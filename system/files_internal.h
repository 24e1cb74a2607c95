// What the POSIX and Windows file operations share.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "files.h"

namespace sys {

// Temporary files beside a target start with this; the dot hides them on POSIX.
inline constexpr char kTemporaryPrefix[] = ".pellicar-";

// The offset with which ReplacingFile::Write writes on where the last write ended.
inline constexpr std::uint64_t kWhereItEnded = UINT64_MAX;

// The folder a file is in, "." for a bare name.
std::filesystem::path FolderOf(const std::filesystem::path& file);

// Another program shortened the file after we learnt its size.
std::string ShortenedMessage(std::uint64_t end, std::uint64_t sizeWhenOpened);

// What each system does for Folder: open one by its path (links followed) or by its
// name in an open one (never through a link), make one, and tell which one it is.
struct FolderOpening {
  HeldFolder held;
  std::string error;     // the system's reason
  bool missing = false;  // the reason is that nothing has the name
};
FolderOpening OpenFolderAt(const std::filesystem::path& path);
FolderOpening OpenFolderIn(const HeldFolder& parent, const FileName& name);
// Empty when made or already there, else the system's reason.
std::string MakeFolderAt(const std::filesystem::path& path);
std::string MakeFolderIn(const FolderHandle& parent, const FileName& name);
// Why a folder could not be made in this one (or a file created), as far as can be told
// without making anything; empty when nothing stands in the way.
std::string CannotCreateIn(const FolderHandle& folder);
FileIdentity IdentityOf(const FolderHandle& folder);

}  // namespace sys
