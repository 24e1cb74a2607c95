#include "files.h"

#include <system_error>
#include <utility>

#include "files_internal.h"
#include "native_string.h"
#include "number_text.h"

namespace sys {

std::filesystem::path FolderOf(const std::filesystem::path& file) {
  const std::filesystem::path parent = file.parent_path();
  return parent.empty() ? std::filesystem::path(".") : parent;
}

std::string ShortenedMessage(std::uint64_t end, std::uint64_t sizeWhenOpened) {
  return "changed while being read: ends at byte " + WithSeparators(end) + " of " + WithSeparators(sizeWhenOpened);
}

Folder::Folder(std::filesystem::path path) : path_(std::move(path)) {}

Folder::Folder(std::shared_ptr<Folder> parent, FileName name)
    : parent_(std::move(parent)), name_(std::move(name)), path_(parent_->path_ / name_) {}

OpenedFolder Folder::Open(IfMissing ifMissing) {
  const std::lock_guard lock(mutex_);
  if (HeldFolder held = open_.lock()) return {std::move(held), {}, {}, false};
  OpenedFolder opened = Reach(ifMissing);
  if (!opened.held) return opened;
  const FileIdentity identity = IdentityOf(*opened.held);
  if (identity_ && *identity_ != identity)
    return {nullptr, "replaced by another folder during the run", Shown(), false};
  identity_ = identity;
  open_ = opened.held;
  return opened;
}

OpenedFolder Folder::Reach(IfMissing ifMissing) const {
  const bool make = ifMissing == IfMissing::kMake;
  FolderOpening opening;
  std::string cannotMake;
  if (!parent_) {
    opening = OpenFolderAt(Shown());
    if (opening.missing && make) cannotMake = MakeFolderAt(Shown());
    if (opening.missing && make && cannotMake.empty()) opening = OpenFolderAt(Shown());
  } else {
    OpenedFolder above = parent_->Open(ifMissing);
    if (!above.held) return above;  // missing or failed, and this folder with it
    opening = OpenFolderIn(above.held, name_);
    if (opening.missing && make) cannotMake = MakeFolderIn(*above.held, name_);
    if (opening.missing && make && cannotMake.empty()) opening = OpenFolderIn(above.held, name_);
    if (opening.missing && ifMissing == IfMissing::kCheckMaking) cannotMake = CannotCreateIn(*above.held);
  }
  if (!cannotMake.empty()) return {nullptr, std::move(cannotMake), Shown(), false};
  const bool left = ifMissing == IfMissing::kLeave || ifMissing == IfMissing::kCheckMaking;
  if (opening.missing && left) return {nullptr, {}, Shown(), true};
  std::filesystem::path failed = opening.held ? std::filesystem::path() : Shown();
  return {std::move(opening.held), std::move(opening.error), std::move(failed), opening.missing};
}

std::filesystem::path Folder::Shown() const { return path_.empty() ? std::filesystem::path(".") : path_; }

Folder::Key Folder::Identify() const {
  const std::lock_guard lock(mutex_);
  if (identity_) return {identity_, {}};
  if (!parent_) return {std::nullopt, ComparedName(path_.native())};
  Key key = parent_->Identify();
  key.below += std::filesystem::path::preferred_separator;
  key.below += ComparedName(name_);
  return key;
}

ReplacingFile::ReplacingFile(std::filesystem::path target)
    : ReplacingFile(Folder(target.parent_path()).Open(Folder::IfMissing::kFail), target.filename().native(), target) {}

// A pipe cannot go back: what the m32 writer would write at an earlier offset fails.
bool StandardOutput::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (offset != kWhereItEnded && offset != written_ && error_.empty())
    error_ = "cannot write to standard output: it cannot go back to byte " + WithSeparators(offset);
  return error_.empty() && Write(bytes);
}

bool StandardOutput::Commit() { return error_.empty(); }

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
  const std::optional<FileFacts> facts = FactsOf(path);
  if (!facts) return std::nullopt;
  return facts->identity;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  const std::optional<FileIdentity> first = IdentityOf(a);
  return first && first == IdentityOf(b);
}

bool NamesFolder(const std::filesystem::path& path) {
  std::error_code ignored;
  return !path.has_filename() || std::filesystem::is_directory(path, ignored);
}

std::string DisplayName(const std::filesystem::path& path) { return ToUtf8(ForDisplay(FromNative(path.native()))); }

}  // namespace sys
