#pragma once
// Files as the programs read and write them, the same on POSIX and on Windows: inputs
// opened without blocking (a pipe is refused, not waited on), outputs written beside
// their target and put in its place by rename only when whole, folders held open while
// a tree is worked in so that a name swapped for a link cannot redirect a read or a
// write, listings, identities and times.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sys {

// Readies the process for the file operations below, before any thread starts: the
// umask read once (reading it means setting it), the clean-up on signals installed, the
// limit of open files raised to what the system allows. A program that never calls it
// gets the same on its first output, which is fine while it runs one thread.
void PrepareProcess();

// The most ReplacingFiles a process writes at once, each perhaps under a temporary name
// that a signal's clean-up must find.
inline constexpr unsigned kMostOutputsAtOnce = 128;

// What tells one file from every other: device and file number, or volume and file ID
// on Windows. None when the name leads to no file.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t fileHigh = 0;
  std::uint64_t fileLow = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

using FileName = std::filesystem::path::string_type;

// An open folder; the folders of a tree are reached from one another through these, so
// that a name on the way swapped for a link later cannot redirect a read or a write. On
// POSIX a descriptor; on Windows a handle that forbids renaming or deleting the folder,
// with those of the folders above it in the tree.
struct FolderHandle;
using HeldFolder = std::shared_ptr<const FolderHandle>;

struct OpenedFolder {
  HeldFolder held;               // none when missing or failed
  std::string error;             // why it cannot be opened or made, as the system says
  std::filesystem::path failed;  // the folder on the way that failed or is missing
  bool missing = false;          // it, or one above it, is not there
};

// A folder of a run, opened when work needs it and closed when none does, so that a tree
// of any size holds few descriptors. The folder the user named is reached by its path,
// through the links in it; one within it by its name alone, never through a link. The
// first open learns which folder it is; a later one that finds another there fails.
class Folder {
 public:
  enum class IfMissing {
    kFail,
    kLeave,        // open only when it is there
    kCheckMaking,  // what making it would meet, making nothing
    kMake,
  };
  explicit Folder(std::filesystem::path path);  // an empty path is the current folder
  Folder(std::shared_ptr<Folder> parent, FileName name);
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  const std::filesystem::path& Path() const { return path_; }  // as messages name it
  OpenedFolder Open(IfMissing ifMissing);

  // Tells this folder from every other: its identity once known, else its parent's key
  // and its own name (any case on Windows).
  struct Key {
    std::optional<FileIdentity> identity;
    FileName below;
    auto operator<=>(const Key&) const = default;
  };
  Key Identify() const;

 private:
  OpenedFolder Reach(IfMissing ifMissing) const;  // by its path or from the folder above it
  std::filesystem::path Shown() const;            // for messages, and to open by its path

  std::shared_ptr<Folder> parent_;
  FileName name_;
  std::filesystem::path path_;
  mutable std::mutex mutex_;
  std::weak_ptr<const FolderHandle> open_;
  std::optional<FileIdentity> identity_;
};

// A file read a piece at a time, at any offset, through buffers the caller owns. It is
// never mapped into memory: another program may shorten the file while it is read, and
// a short read is an error to report, where touching a mapping past the new end would
// kill the process. A link to a file is followed; nothing but a regular file is read.
class InputFile final {
 public:
  explicit InputFile(const std::filesystem::path& path);
  InputFile(const FolderHandle& folder, const FileName& name);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  std::uint64_t Size() const { return size_; }  // as it was when opened
  // Fills `bytes` from `offset` on; false, with Error() saying why, when the file cannot
  // give all of them.
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes);
  const std::string& Error() const { return error_; }  // the first failure, if any

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  std::uint64_t size_ = 0;
  std::string error_;
};

// Where a conversion's bytes go: written in order, or at offsets where the output allows.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual const std::string& Error() const = 0;  // the first failure, if any
  // Writes on where the last write ended.
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
  // Writes at `offset` from the file's start, whatever was written before; the m32
  // writer puts each mip level's rows in place as they are made.
  virtual bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
  // Reads back what was written at `offset`; false where the output cannot be read.
  virtual bool ReadAt(std::uint64_t, std::span<std::uint8_t>) { return false; }
  // Sets aside room for a file of `bytes` where the system can, so that the writes need
  // not find it a page at a time. A hint only: what it cannot do, the writes still do.
  virtual void Reserve(std::uint64_t) {}
  virtual bool Commit() = 0;
};

// Written into a temporary file beside the target and put in its place only at commit,
// so the target is either its earlier self or the complete new file, never a part. The
// temporary file has no name while it is written where the system allows (Linux), or
// is deleted by the system when the process ends without committing (Windows); else it
// is removed when the converter is interrupted. A target that is replaced keeps its
// permission bits, but never set-user-ID, set-group-ID or sticky; a read-only one is not
// replaced, nor anything but a regular file or a link (on Windows a device or a stream).
// A link is replaced itself, never what it points to, and only when that is a regular
// file other than this program's standard output or error.
class ReplacingFile final : public OutputFile {
 public:
  enum class Mode { kWrite, kCheckOnly };  // kCheckOnly: every check, nothing created
  explicit ReplacingFile(std::filesystem::path target);
  // `name` in `folder`; a folder that failed to open fails the file with its reason, and a
  // missing one (a dry run's, to be made) holds nothing to check.
  ReplacingFile(const OpenedFolder& folder, const FileName& name, std::filesystem::path shown,
                Mode mode = Mode::kWrite);
  ~ReplacingFile() override;  // removes the temporary file unless committed
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  const std::string& Error() const override { return error_; }
  bool Write(std::span<const std::uint8_t> bytes) override;
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override;
  void Reserve(std::uint64_t bytes) override;
  bool Commit() override;

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  std::filesystem::path target_;  // as messages name it
  std::string error_;
};

// Standard output as an output, for pipes: bytes in order only.
class StandardOutput final : public OutputFile {
 public:
  const std::string& Error() const override { return error_; }
  bool Write(std::span<const std::uint8_t> bytes) override;
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
  bool Commit() override;

 private:
  std::uint64_t written_ = 0;
  std::string error_;
};

// The identity of the file standard output writes to, when it is one.
std::optional<FileIdentity> StandardOutputIdentity();

// The files one file argument names, by the names their messages and outputs take. On
// Windows, where a program expands its own wildcards, a name whose last part holds '*'
// (any run of characters) or '?' (any one) stands for the files of that folder whose
// names match, letters without regard to case, in name order, leaving out folders and
// hidden and system files as the command prompt does; when none matches, `error` says
// so. Any other name stands for the file Windows opens, by the name the user knows:
// without the dots and blanks Windows drops from its end ("trail.m32." opens
// trail.m32), with the long form of each short (8.3) name. Elsewhere the shell has
// expanded the wildcards, and every name stands for itself.
struct NamedFiles {
  std::vector<std::filesystem::path> files;
  std::string error;
};
NamedFiles FilesNamedBy(const std::filesystem::path& argument);

// Whether both names lead to the same existing file, through links or other spellings;
// on Windows a stream of a file ("rock.m32:x") leads to that file.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path);

// A file's identity, whether it is a regular file, and when it was last written (in the
// system's own units, to compare with other such times only), read at once; `step` is
// how coarsely its file system keeps that time (2 seconds on FAT), 0 when finely. None
// when the name leads to no file. Links are followed.
struct FileFacts {
  FileIdentity identity;
  std::int64_t written = 0;
  std::int64_t step = 0;
  bool regular = false;
};
std::optional<FileFacts> FactsOf(const std::filesystem::path& path);

// The facts of files of one open folder, by their names in it.
std::vector<std::optional<FileFacts>> FactsIn(const FolderHandle& folder, std::span<const FileName> names);

// A folder's entries for a tree walk, in no order. Hidden entries and links to folders
// are left out, so that a walk ends; a link to a file is a file.
struct FolderEntry {
  FileName name;
  bool folder = false;
};
struct FolderListing {
  std::vector<FolderEntry> entries;
  std::string error;  // why the folder cannot be listed
};
FolderListing ListFolder(const FolderHandle& folder);

// The name a file of a listing is known by: on Windows without the dots and blanks that
// Windows drops from the end of a name it is given ("trail.m32." is known as trail.m32);
// elsewhere the name itself.
FileName KnownName(const FileName& name);

// A name as the file system compares names: as it is, or upper-cased on Windows.
FileName ComparedName(const FileName& name);

// Why a path the user names may not be written as a file, before any folder is opened:
// on Windows a device (NUL, COM1, \\.\...) or a stream ("rock.tga:x"); elsewhere nothing.
std::string OutputPathRefusal(const std::filesystem::path& path);

// Whether the name is an existing folder, or ends in a separator and so can only be one.
bool NamesFolder(const std::filesystem::path& path);

// A path as it goes into a message: UTF-8, fit to show by sys::ForDisplay, so that one
// failure stays on one line.
std::string DisplayName(const std::filesystem::path& path);

}  // namespace sys
