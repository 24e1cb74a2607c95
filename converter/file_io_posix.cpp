// File operations on POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <random>
#include <system_error>
#include <utility>

#include "file_io.h"
#include "file_io_shared.h"

namespace m32tga {
namespace {

std::string SystemMessage(int code) { return std::generic_category().message(code); }

// The file's size, or a reason why it is not a file we can read as bytes.
std::string RegularFileSize(int fd, std::uint64_t& size) {
  struct stat status {};
  if (fstat(fd, &status) != 0) return "cannot read: " + SystemMessage(errno);
  if (S_ISDIR(status.st_mode)) return "a directory, not a file";
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

struct InputFile::Handle {
  int fd = -1;
};

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

namespace {

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The named temporary file to remove when a signal ends the process; only where the
// file system cannot hold a file without a name.
std::atomic<const char*> temporaryToRemove{nullptr};

extern "C" void RemoveTemporaryAndDie(int signal) {
  if (const char* name = temporaryToRemove.exchange(nullptr)) unlink(name);
  ::signal(signal, SIG_DFL);
  raise(signal);
}

void RemoveTemporaryOnSignals(const char* name) {
  temporaryToRemove = name;
  static const bool installed = [] {
    for (const int signal : kCleanupSignals) {
      struct sigaction action {};
      sigaction(signal, nullptr, &action);
      if (action.sa_handler == SIG_IGN) continue;  // as under nohup: stay ignored
      action.sa_handler = RemoveTemporaryAndDie;
      sigemptyset(&action.sa_mask);
      action.sa_flags = 0;
      sigaction(signal, &action, nullptr);
    }
    return true;
  }();
  (void)installed;
}

// Holds back SIGINT, SIGTERM and SIGHUP while a finished file gets its names, so that
// an interruption there leaves no second name behind.
class HeldSignals {
 public:
  HeldSignals() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : kCleanupSignals) sigaddset(&held, signal);
    sigprocmask(SIG_BLOCK, &held, &previous_);
  }
  ~HeldSignals() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

 private:
  sigset_t previous_;
};

// For tests: the named temporary file that file systems without O_TMPFILE get.
bool NamedTemporaryWanted() { return getenv("PELLICAR_NAMED_TEMPORARY") != nullptr; }

bool LacksUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

// The permission bits of an existing target, or those of a new file; a reason when the
// target cannot or may not be replaced.
std::string TargetPermissions(const std::filesystem::path& target, mode_t& mode) {
  constexpr mode_t kReadWriteForAll = 0666;
  constexpr mode_t kPermissionBits = 07777;
  constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
  struct stat status {};
  if (stat(target.c_str(), &status) != 0) {
    const mode_t mask = umask(0);
    umask(mask);
    mode = kReadWriteForAll & ~mask;
    return errno == ENOENT ? std::string() : "cannot replace " + DisplayName(target) + ": " + SystemMessage(errno);
  }
  if (S_ISDIR(status.st_mode)) return DisplayName(target) + " is a folder, not a file";
  const bool readOnly = (status.st_mode & kWriteBits) == 0 || faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS);
  if (readOnly) return "not replacing " + DisplayName(target) + ": the file is read-only";
  mode = status.st_mode & kPermissionBits;
  return {};
}

// Gives the unnamed file `fd` the name `name`; 0, or the errno of the failure.
int LinkUnnamed(int fd, const std::filesystem::path& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  // Without /proc, the same by descriptor, which needs privilege.
  if (errno != ENOENT) return errno;
  return linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

std::filesystem::path RandomNameBeside(const std::filesystem::path& target) {
  static std::mt19937_64 random{std::random_device{}()};
  return FolderOf(target) / (kTemporaryPrefix + std::to_string(random()));
}

}  // namespace

struct ReplacingFile::Handle {
  int fd = -1;
  std::filesystem::path named;  // the named temporary file, when there is one
};

ReplacingFile::ReplacingFile(std::filesystem::path target) : handle_(new Handle), target_(std::move(target)) {
  mode_t mode = 0;
  error_ = TargetPermissions(target_, mode);
  if (!error_.empty()) return;
  const std::filesystem::path folder = FolderOf(target_);
  int problem = EOPNOTSUPP;
  if (!NamedTemporaryWanted()) {
    handle_->fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    problem = errno;
  }
  if (handle_->fd < 0 && LacksUnnamedFiles(problem)) {
    const HeldSignals held;  // until the name is known to the signal handler
    std::string name = (folder / kTemporaryPrefix).native() + "XXXXXX";
    handle_->fd = mkostemp(name.data(), O_CLOEXEC);
    problem = errno;
    if (handle_->fd >= 0) {
      handle_->named = name;
      RemoveTemporaryOnSignals(handle_->named.c_str());
    }
  }
  if (handle_->fd < 0) {
    error_ = "cannot create a file beside " + DisplayName(target_) + ": " + SystemMessage(problem);
  } else if (fchmod(handle_->fd, mode) != 0) {
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

bool ReplacingFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (offset > kLargestOffset - bytes.size())
    error_ = "cannot write " + DisplayName(target_) + ": " + SystemMessage(EOVERFLOW);
  while (error_.empty() && !bytes.empty()) {
    const ssize_t written = pwrite(handle_->fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(written));
      offset += static_cast<std::uint64_t>(written);
    } else if (written == 0 || errno != EINTR) {
      const int code = written == 0 ? EIO : errno;
      error_ = "cannot write " + DisplayName(target_) + ": " + SystemMessage(code);
    }
  }
  return error_.empty();
}

void ReplacingFile::Reserve([[maybe_unused]] std::uint64_t bytes) {
#ifdef __linux__
  // Not posix_fallocate, which writes zeros where the file system cannot reserve.
  if (error_.empty() && bytes <= kLargestOffset) fallocate(handle_->fd, 0, 0, static_cast<off_t>(bytes));
#endif
}

bool ReplacingFile::Commit() {
  if (!error_.empty()) return false;
  const HeldSignals held;
  std::filesystem::path temporary = handle_->named;
  if (temporary.empty()) {
    // Straight to the target's name when it is free; else under a temporary name first.
    int problem = LinkUnnamed(handle_->fd, target_);
    if (problem == 0) return true;
    for (int attempt = 0; attempt < 100 && problem == EEXIST; ++attempt) {
      temporary = RandomNameBeside(target_);
      problem = LinkUnnamed(handle_->fd, temporary);
    }
    if (problem != 0) {
      error_ = "cannot create " + DisplayName(target_) + ": " + SystemMessage(problem);
      return false;
    }
    handle_->named = temporary;
  }
  // Renamed before the close: a kill between the two names would leave the temporary
  // one behind, and closing a large file that is still being written back takes time.
  if (rename(temporary.c_str(), target_.c_str()) != 0) {
    error_ = "cannot replace " + DisplayName(target_) + ": " + SystemMessage(errno);
    return false;
  }
  temporaryToRemove = nullptr;
  handle_->named.clear();
  if (close(std::exchange(handle_->fd, -1)) != 0) {
    error_ = "cannot finish writing " + DisplayName(target_) + ": " + SystemMessage(errno);
    return false;
  }
  return true;
}

ReplacingFile::~ReplacingFile() {
  if (handle_->fd >= 0) close(handle_->fd);
  if (!handle_->named.empty()) {
    unlink(handle_->named.c_str());
    temporaryToRemove = nullptr;
  }
}

NamedFiles FilesNamedBy(const std::filesystem::path& argument) { return {{argument}, {}}; }

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  struct stat first {};
  struct stat second {};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

void PrintError(const std::string& text) { std::fputs(text.c_str(), stderr); }

void PrintOutput(const std::string& text) { std::fputs(text.c_str(), stdout); }

}  // namespace m32tga
