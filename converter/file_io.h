// The few file operations the converter needs, on POSIX and on Windows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "m32.h"
#include "tga.h"

namespace m32tga {

// A file read a piece at a time, at any offset, through buffers the caller owns. It is
// never mapped into memory: another program may shorten the file while it is read, and
// a short read is an error to report, where touching a mapping past the new end would
// kill the process.
class InputFile {
 public:
  explicit InputFile(const std::filesystem::path& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const std::string& Error() const { return error_; }  // the first failure, if any
  std::uint64_t Size() const { return size_; }         // as it was when opened

  // Fills `bytes` from `offset` on; false, with error() saying why, when the file
  // cannot give all of them.
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes);

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  std::uint64_t size_ = 0;
  std::string error_;
};

// Level 0's rows read from the file into one reusable buffer of at most a block.
class FileRows final : public PixelRows {
 public:
  FileRows(InputFile& file, const Level0& level0) : file_(file), level0_(level0) {}
  std::span<const std::uint8_t> Rows(std::size_t first, std::size_t count) override;

 private:
  InputFile& file_;
  Level0 level0_;
  std::vector<std::uint8_t> buffer_;
};

// Written under a temporary name beside the target and renamed over it only at commit,
// so the target is either its earlier self or the complete new file, never a part.
class ReplacingFile final : public ByteSink {
 public:
  explicit ReplacingFile(std::filesystem::path target);
  ~ReplacingFile();  // removes the temporary file unless committed
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  const std::string& Error() const { return error_; }  // the first failure, if any
  bool Write(std::span<const std::uint8_t> bytes) override;
  bool Commit();

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::string error_;
  bool committed_ = false;
};

// A path as it goes into a message: its bytes, with control characters shown as '?'
// so that one failure stays on one line.
std::string DisplayName(const std::filesystem::path& path);

}  // namespace m32tga
