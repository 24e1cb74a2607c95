#include "file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

#include "number_text.h"

#ifdef _WIN32
#include <fstream>
#include <random>
#else
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <limits>
#endif

namespace m32tga {
namespace {

constexpr char kTemporaryPrefix[] = ".pellicar-";

std::string SystemMessage(int code) { return std::generic_category().message(code); }

std::filesystem::path FolderOf(const std::filesystem::path& file) {
  const std::filesystem::path parent = file.parent_path();
  return parent.empty() ? std::filesystem::path(".") : parent;
}

// Another program shortened the file after we learnt its size.
std::string ShortenedMessage(std::uint64_t end, std::uint64_t sizeWhenOpened) {
  return "changed while being read: ends at byte " + WithSeparators(end) + " of " + WithSeparators(sizeWhenOpened);
}

}  // namespace

std::span<const std::uint8_t> FileRows::Rows(std::size_t first, std::size_t count) {
  const std::uint64_t rowBytes = std::uint64_t{level0_.width} * kM32BytesPerPixel;
  if (rowBytes == 0 || !RowsWithin(first, count, level0_.height)) return {};
  // A block at a time, never the whole image; the divisions keep both products exact.
  if (count > std::max<std::uint64_t>(1, kTgaChunkBytes / rowBytes)) return {};
  if (first > (UINT64_MAX - level0_.offset) / rowBytes) return {};
  buffer_.resize(static_cast<std::size_t>(count * rowBytes));
  if (!file_.ReadAt(level0_.offset + first * rowBytes, buffer_)) return {};
  return buffer_;
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

#ifdef _WIN32

struct InputFile::Handle {
  std::filesystem::path path;
  std::ifstream in;
};

namespace {

// Where the file ends now that a read stopped short at `reached`.
std::uint64_t EndNow(const std::filesystem::path& path, std::uint64_t reached) {
  std::error_code status;
  const std::uintmax_t size = std::filesystem::file_size(path, status);
  return status ? reached : std::min<std::uint64_t>(size, reached);
}

}  // namespace

InputFile::InputFile(const std::filesystem::path& path) : handle_(new Handle) {
  std::error_code status;
  if (std::filesystem::is_directory(path, status)) {
    error_ = "a directory, not an m32 file";
    return;
  }
  handle_->path = path;
  handle_->in.open(path, std::ios::binary);
  if (!handle_->in) {
    error_ = "cannot open: " + SystemMessage(errno);
    return;
  }
  size_ = std::filesystem::file_size(path, status);
  if (status) error_ = "cannot read: " + status.message();
}

InputFile::~InputFile() = default;

bool InputFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) {
  if (!error_.empty()) return false;
  std::ifstream& in = handle_->in;
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const auto got = static_cast<std::uint64_t>(in.gcount());
  if (got == bytes.size()) return true;
  error_ =
      in.bad() ? "cannot read: " + SystemMessage(errno) : ShortenedMessage(EndNow(handle_->path, offset + got), size_);
  return false;
}

struct ReplacingFile::Handle {
  std::ofstream out;
};

ReplacingFile::ReplacingFile(std::filesystem::path target) : handle_(new Handle), target_(std::move(target)) {
  std::random_device random;
  for (int attempt = 0; attempt < 100 && !handle_->out.is_open(); ++attempt) {
    temporary_ = FolderOf(target_) / (kTemporaryPrefix + std::to_string(random()));
    if (std::filesystem::exists(temporary_)) continue;
    handle_->out.open(temporary_, std::ios::binary);
  }
  if (!handle_->out.is_open()) {
    error_ = "cannot create a file beside " + DisplayName(target_);
    temporary_.clear();
  }
}

bool ReplacingFile::Write(std::span<const std::uint8_t> bytes) {
  if (!error_.empty()) return false;
  handle_->out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!handle_->out) error_ = "cannot write " + DisplayName(target_);
  return error_.empty();
}

bool ReplacingFile::Commit() {
  if (!error_.empty()) return false;
  handle_->out.close();
  if (!handle_->out) {
    error_ = "cannot finish writing " + DisplayName(target_);
    return false;
  }
  std::error_code status;
  std::filesystem::rename(temporary_, target_, status);
  if (status) {
    error_ = "cannot replace " + DisplayName(target_) + ": " + status.message();
    return false;
  }
  committed_ = true;
  return true;
}

ReplacingFile::~ReplacingFile() {
  if (handle_->out.is_open()) handle_->out.close();
  std::error_code ignored;
  if (!committed_ && !temporary_.empty()) std::filesystem::remove(temporary_, ignored);
}

#else  // POSIX

struct InputFile::Handle {
  int fd = -1;
};

namespace {

// The file's size, or a reason why it is not a file we can read as bytes.
std::string RegularFileSize(int fd, std::uint64_t& size) {
  struct stat status {};
  if (fstat(fd, &status) != 0) return "cannot read: " + SystemMessage(errno);
  if (S_ISDIR(status.st_mode)) return "a directory, not an m32 file";
  if (!S_ISREG(status.st_mode)) return "not a regular file";
  size = static_cast<std::uint64_t>(status.st_size);
  return {};
}

// Where the file ends now that a read at `reached` found nothing: the first read may lie
// well past a cut, and the message should say where the file really ends.
std::uint64_t EndNow(int fd, std::uint64_t reached) {
  struct stat status {};
  if (fstat(fd, &status) != 0) return reached;
  return std::min(static_cast<std::uint64_t>(status.st_size), reached);
}

constexpr auto kLargestOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());

}  // namespace

InputFile::InputFile(const std::filesystem::path& path) : handle_(new Handle) {
  // Non-blocking so that a named pipe is refused rather than waited on.
  handle_->fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (handle_->fd < 0) {
    error_ = "cannot open: " + SystemMessage(errno);
    return;
  }
  error_ = RegularFileSize(handle_->fd, size_);
}

InputFile::~InputFile() {
  if (handle_->fd >= 0) close(handle_->fd);
}

bool InputFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) {
  while (error_.empty() && !bytes.empty()) {
    if (offset > kLargestOffset) {
      error_ = "cannot read: " + SystemMessage(EOVERFLOW);
      break;
    }
    const ssize_t got = pread(handle_->fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (got > 0) {
      offset += static_cast<std::uint64_t>(got);
      bytes = bytes.subspan(static_cast<std::size_t>(got));
    } else if (got == 0) {
      error_ = ShortenedMessage(EndNow(handle_->fd, offset), size_);
    } else if (errno != EINTR) {
      error_ = "cannot read: " + SystemMessage(errno);
    }
  }
  return error_.empty();
}

struct ReplacingFile::Handle {
  int fd = -1;
};

namespace {

// The permissions a newly created file would get, rather than mkstemp's owner-only ones.
mode_t PermissionsForNewFile() {
  constexpr mode_t kReadWriteForAll = 0666;
  const mode_t mask = umask(0);
  umask(mask);
  return kReadWriteForAll & ~mask;
}

}  // namespace

ReplacingFile::ReplacingFile(std::filesystem::path target) : handle_(new Handle), target_(std::move(target)) {
  std::string name = (FolderOf(target_) / kTemporaryPrefix).native() + "XXXXXX";
  handle_->fd = mkstemp(name.data());
  if (handle_->fd < 0) {
    error_ = "cannot create a file beside " + DisplayName(target_) + ": " + SystemMessage(errno);
    return;
  }
  temporary_ = name;
  if (fchmod(handle_->fd, PermissionsForNewFile()) != 0) {
    error_ = "cannot set permissions of " + DisplayName(target_) + ": " + SystemMessage(errno);
  }
}

bool ReplacingFile::Write(std::span<const std::uint8_t> bytes) {
  while (error_.empty() && !bytes.empty()) {
    const ssize_t written = ::write(handle_->fd, bytes.data(), bytes.size());
    if (written > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(written));
    } else if (written == 0 || errno != EINTR) {
      const int code = written == 0 ? EIO : errno;
      error_ = "cannot write " + DisplayName(target_) + ": " + SystemMessage(code);
    }
  }
  return error_.empty();
}

bool ReplacingFile::Commit() {
  if (!error_.empty()) return false;
  const int fd = std::exchange(handle_->fd, -1);
  if (close(fd) != 0) {
    error_ = "cannot finish writing " + DisplayName(target_) + ": " + SystemMessage(errno);
    return false;
  }
  if (rename(temporary_.c_str(), target_.c_str()) != 0) {
    error_ = "cannot replace " + DisplayName(target_) + ": " + SystemMessage(errno);
    return false;
  }
  committed_ = true;
  return true;
}

ReplacingFile::~ReplacingFile() {
  if (handle_->fd >= 0) close(handle_->fd);
  if (!committed_ && !temporary_.empty()) unlink(temporary_.c_str());
}

#endif

}  // namespace m32tga
