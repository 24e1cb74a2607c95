// The few file operations the converter needs, on POSIX and on Windows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "m32.h"
#include "tga.h"

namespace m32tga {

// The most conversions that run at once, each writing one ReplacingFile.
inline constexpr unsigned kMostJobs = 64;

// A file read a piece at a time, at any offset, through buffers the caller owns. It is
// never mapped into memory: another program may shorten the file while it is read, and
// a short read is an error to report, where touching a mapping past the new end would
// kill the process.
class InputFile final : public ByteSource {
 public:
  explicit InputFile(const std::filesystem::path& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override;
  const std::string& Error() const override { return error_; }

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  std::uint64_t size_ = 0;
  std::string error_;
};

// Written into a temporary file beside the target and put in its place only at commit,
// so the target is either its earlier self or the complete new file, never a part. The
// temporary file has no name while it is written where the system allows (Linux), or
// is deleted by the system when the process ends without committing (Windows); else it
// is removed when the converter is interrupted. A target that is replaced keeps its
// permission bits, but never set-user-ID, set-group-ID or sticky; a read-only one is not
// replaced, nor anything but a regular file or a link (on Windows a device or a stream),
// and a link is replaced itself, never what it points to.
class ReplacingFile final : public ByteSink {
 public:
  explicit ReplacingFile(std::filesystem::path target);
  ~ReplacingFile();  // removes the temporary file unless committed
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  const std::string& Error() const { return error_; }  // the first failure, if any
  bool Write(std::span<const std::uint8_t> bytes) override;
  // Writes at `offset` from the file's start, whatever was written before; the m32
  // writer puts each mip level's rows in place as they are made.
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  // Reads back what was written at `offset`.
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes);
  // Sets aside room for a file of `bytes` where the system can, so that the writes need
  // not find it a page at a time. A hint only: what it cannot do, the writes still do.
  void Reserve(std::uint64_t bytes);
  bool Commit();

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  std::filesystem::path target_;
  std::string error_;
};

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

// What tells one file from every other: device and file number, or volume and file ID
// on Windows. None when the name leads to no file.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t fileHigh = 0;
  std::uint64_t fileLow = 0;
  auto operator<=>(const FileIdentity&) const = default;
};
std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path);

// A file's identity and when it was last written (in the system's own units, to compare
// with other such times only), read at once. None when the name leads to no file.
struct FileFacts {
  FileIdentity identity;
  std::int64_t written = 0;
};
std::optional<FileFacts> FactsOf(const std::filesystem::path& path);

// The facts of files of one folder, by their names in it: looked up from the open folder
// where the system allows, which is cheaper than by whole names. None for a name that
// leads to no file.
using FileName = std::filesystem::path::string_type;
std::vector<std::optional<FileFacts>> FactsIn(const std::filesystem::path& folder, std::span<const FileName> names);

// A folder's entries for a tree walk, in no order. Hidden entries and links to folders
// are left out, so that a walk ends; a link to a file is a file. Windows lists the
// folder by its \\?\ name, so that a walk reaches past 260 characters.
struct FolderEntry {
  FileName name;
  bool folder = false;
};
struct FolderListing {
  std::vector<FolderEntry> entries;
  std::string error;  // why the folder cannot be listed
};
FolderListing ListFolder(const std::filesystem::path& folder);

// Makes the folder and those above it that are missing: empty when done, otherwise the
// system's reason.
std::string MakeFolders(const std::filesystem::path& folder);

// Whether stderr is a terminal (a console on Windows), where a progress line may show.
bool ErrorIsTerminal();

// Whether the name is an existing folder, or ends in a separator and so can only be one.
bool NamesFolder(const std::filesystem::path& path);

// A path as it goes into a message: UTF-8, fit to show by sys::ForDisplay, so that one
// failure stays on one line.
std::string DisplayName(const std::filesystem::path& path);

// Text for stderr or stdout: UTF-8, shown as such in a Windows console too. Whether
// the text reached stdout.
void PrintError(const std::string& text);

// How the converter's programs end: all done, something failed, a wrong command line.
inline constexpr int kAllConverted = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kWrongCommandLine = 2;
bool PrintOutput(const std::string& text);

}  // namespace m32tga
