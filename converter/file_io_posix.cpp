// File operations on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <new>
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

// The named temporary files to remove when a signal ends the process, one slot for each
// file being written at once; only where the file system cannot hold a file without a
// name. Each name is put here before the file can exist, so that whichever thread the
// signal reaches removes every one.
constexpr std::size_t kTemporarySlots = 2 * kMostJobs;
std::atomic<const char*> temporariesToRemove[kTemporarySlots];

// Other threads go on while a handler runs: one that is naming a temporary file is let
// finish (its name is registered first), and none starts after the handler began.
std::atomic<bool> dying{false};
std::atomic<int> naming{0};

extern "C" void RemoveTemporariesAndDie(int signal) {
  dying = true;
  constexpr int kWaits = 200;  // 1 ms each: the thread naming a file may be this one
  const timespec millisecond{0, 1'000'000};
  for (int i = 0; i < kWaits && naming.load() > 0; ++i) nanosleep(&millisecond, nullptr);
  for (auto& slot : temporariesToRemove) {
    if (const char* name = slot.exchange(nullptr)) unlink(name);
  }
  ::signal(signal, SIG_DFL);
  raise(signal);
}

void InstallCleanupHandlers() {
  static const bool installed = [] {
    for (const int signal : kCleanupSignals) {
      struct sigaction action {};
      sigaction(signal, nullptr, &action);
      if (action.sa_handler == SIG_IGN) continue;  // as under nohup: stay ignored
      action.sa_handler = RemoveTemporariesAndDie;
      sigemptyset(&action.sa_mask);
      action.sa_flags = 0;
      sigaction(signal, &action, nullptr);
    }
    return true;
  }();
  (void)installed;
}

// The slot that now holds `name`; none when every slot is taken.
std::atomic<const char*>* RemoveOnSignals(const char* name) {
  InstallCleanupHandlers();
  for (auto& slot : temporariesToRemove) {
    const char* free = nullptr;
    if (slot.compare_exchange_strong(free, name)) return &slot;
  }
  return nullptr;
}

// Takes the name back before its memory goes. When a signal's handler took it first,
// that handler is ending the process and may still read the name: wait for the end.
void KeepOnSignals(std::atomic<const char*>*& slot, const char* name) {
  if (slot != nullptr && !slot->compare_exchange_strong(name, nullptr)) {
    for (;;) pause();
  }
  slot = nullptr;
}

// Holds back SIGINT, SIGTERM and SIGHUP from this thread while a finished file gets its
// names. Another thread may still take them, which is why the names are registered.
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

// Test seam: PELLICAR_TEST_NAMED_TEMPORARY set gives the named temporary file that file
// systems without O_TMPFILE get.
bool NamedTemporaryWanted() { return getenv("PELLICAR_TEST_NAMED_TEMPORARY") != nullptr; }

// Test seam: writing the output that PELLICAR_TEST_THROW_WRITING names throws, as memory
// running out would, a failure that no step of the conversion foresees.
bool ThrowOnWriteWanted(const std::filesystem::path& target) {
  const char* name = getenv("PELLICAR_TEST_THROW_WRITING");
  return name != nullptr && target == name;
}

bool LacksUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

mode_t NewFileMode() {
  constexpr mode_t kReadWriteForAll = 0666;
  const mode_t mask = umask(0);
  umask(mask);
  return kReadWriteForAll & ~mask;
}

// The permission bits the new file takes: those of a regular file it replaces, never
// set-user-ID, set-group-ID or sticky; a new file's for a link, which is replaced itself
// and whose target is never touched. A reason when the target may not be replaced: a
// read-only file, or anything that is not a regular file (a folder, a device, a pipe).
std::string TargetPermissions(const std::filesystem::path& target, mode_t& mode, bool& exists) {
  constexpr mode_t kPermissionBits = 0777;
  constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
  struct stat status {};
  exists = lstat(target.c_str(), &status) == 0;
  const int problem = errno;
  mode = NewFileMode();
  if (!exists)
    return problem == ENOENT ? std::string() : "cannot write " + DisplayName(target) + ": " + SystemMessage(problem);
  if (S_ISLNK(status.st_mode)) return {};
  if (S_ISDIR(status.st_mode)) return DisplayName(target) + " is a folder, not a file";
  if (!S_ISREG(status.st_mode)) return "not replacing " + DisplayName(target) + ": it is not a regular file";
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

std::string RandomNameBeside(const std::filesystem::path& target) {
  thread_local std::mt19937_64 random{std::random_device{}()};  // one per worker: -j runs several
  return (FolderOf(target) / (kTemporaryPrefix + std::to_string(random()))).native();
}

}  // namespace

struct ReplacingFile::Handle {
  int fd = -1;
  std::string named;  // the named temporary file, when there is one
  std::atomic<const char*>* slot = nullptr;
  bool replacing = false;  // whether something has the target's name
  bool throwOnWrite = false;

  // Registers the name and holds off a signal's clean-up until Named(); when the clean-up
  // has begun, waits for the end it brings.
  void Name(std::string name) {
    ++naming;
    if (dying) {
      for (;;) pause();
    }
    named = std::move(name);
    slot = RemoveOnSignals(named.c_str());
  }
  static void Named() { --naming; }
  void Forget() {
    KeepOnSignals(slot, named.c_str());
    named.clear();
  }
  ~Handle() {
    if (fd >= 0) close(fd);
    if (!named.empty()) {
      unlink(named.c_str());
      Forget();
    }
  }
};

ReplacingFile::ReplacingFile(std::filesystem::path target) : handle_(new Handle), target_(std::move(target)) {
  mode_t mode = 0;
  error_ = TargetPermissions(target_, mode, handle_->replacing);
  if (!error_.empty()) return;
  handle_->throwOnWrite = ThrowOnWriteWanted(target_);
  const std::filesystem::path folder = FolderOf(target_);
  int problem = EOPNOTSUPP;
  if (!NamedTemporaryWanted()) {
    handle_->fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    problem = errno;
  }
  if (handle_->fd < 0 && LacksUnnamedFiles(problem)) {
    handle_->Name((folder / kTemporaryPrefix).native() + "XXXXXX");
    handle_->fd = mkostemp(handle_->named.data(), O_CLOEXEC);
    problem = errno;
    Handle::Named();
    if (handle_->fd < 0) handle_->Forget();
  }
  if (handle_->fd < 0) {
    error_ = "cannot create a file beside " + DisplayName(target_) + ": " + SystemMessage(problem);
  } else if (fchmod(handle_->fd, mode) != 0) {
    error_ = "cannot set permissions of " + DisplayName(target_) + ": " + SystemMessage(errno);
  }
}

bool ReplacingFile::Write(std::span<const std::uint8_t> bytes) { return WriteAt(kWhereItEnded, bytes); }

bool ReplacingFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (handle_->throwOnWrite) throw std::bad_alloc();
  const bool atTheEnd = offset == kWhereItEnded;
  if (!atTheEnd && offset > kLargestOffset - bytes.size())
    error_ = "cannot write " + DisplayName(target_) + ": " + SystemMessage(EOVERFLOW);
  while (error_.empty() && !bytes.empty()) {
    const ssize_t written = atTheEnd ? ::write(handle_->fd, bytes.data(), bytes.size())
                                     : pwrite(handle_->fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(written));
      offset += atTheEnd ? 0 : static_cast<std::uint64_t>(written);
    } else if (written == 0 || errno != EINTR) {
      const int code = written == 0 ? EIO : errno;
      error_ = "cannot write " + DisplayName(target_) + ": " + SystemMessage(code);
    }
  }
  return error_.empty();
}

bool ReplacingFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) {
  if (offset > kLargestOffset - bytes.size())
    error_ = "cannot read back " + DisplayName(target_) + ": " + SystemMessage(EOVERFLOW);
  while (error_.empty() && !bytes.empty()) {
    const ssize_t got = pread(handle_->fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (got > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(got));
      offset += static_cast<std::uint64_t>(got);
    } else if (got == 0 || errno != EINTR) {
      error_ = "cannot read back " + DisplayName(target_) + ": " + SystemMessage(got == 0 ? EIO : errno);
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
  if (handle_->named.empty()) {
    // Straight to the target's name when it is free; else under a temporary name first.
    int problem = LinkUnnamed(handle_->fd, target_);
    if (problem == 0) return true;
    for (int attempt = 0; attempt < 100 && problem == EEXIST; ++attempt) {
      handle_->Name(RandomNameBeside(target_));
      problem = LinkUnnamed(handle_->fd, handle_->named);
      Handle::Named();
      if (problem != 0) handle_->Forget();  // someone else's file, or none
    }
    if (problem != 0) {
      error_ = "cannot create " + DisplayName(target_) + ": " + SystemMessage(problem);
      return false;
    }
  }
  // Renamed before the close: a kill between the two names would leave the temporary
  // one behind, and closing a large file that is still being written back takes time.
  if (rename(handle_->named.c_str(), target_.c_str()) != 0) {
    const int problem = errno;
    error_ = (handle_->replacing ? "cannot replace " : "cannot write ") + DisplayName(target_) + ": " +
             SystemMessage(problem);
    return false;
  }
  handle_->Forget();
  if (close(std::exchange(handle_->fd, -1)) != 0) {
    error_ = "cannot finish writing " + DisplayName(target_) + ": " + SystemMessage(errno);
    return false;
  }
  return true;
}

ReplacingFile::~ReplacingFile() = default;  // the handle closes and removes an uncommitted file

NamedFiles FilesNamedBy(const std::filesystem::path& argument) { return {{argument}, {}}; }

namespace {

// The file that `name` leads to, looked up from the folder `at`.
std::optional<FileFacts> FactsAt(int at, const char* name) {
  constexpr std::int64_t kNanoseconds = 1'000'000'000;
  struct stat status {};
  if (fstatat(at, name, &status, 0) != 0) return std::nullopt;
  return FileFacts{{status.st_dev, 0, status.st_ino}, status.st_mtim.tv_sec * kNanoseconds + status.st_mtim.tv_nsec};
}

#ifdef O_PATH
constexpr int kLookUpOnly = O_PATH;
#else
constexpr int kLookUpOnly = O_RDONLY;
#endif

}  // namespace

std::optional<FileFacts> FactsOf(const std::filesystem::path& path) { return FactsAt(AT_FDCWD, path.c_str()); }

std::vector<std::optional<FileFacts>> FactsIn(const std::filesystem::path& folder, std::span<const FileName> names) {
  std::vector<std::optional<FileFacts>> facts(names.size());
  const int at = open(folder.c_str(), kLookUpOnly | O_DIRECTORY | O_CLOEXEC);
  for (std::size_t i = 0; i < names.size(); ++i) {
    facts[i] = at >= 0 ? FactsAt(at, names[i].c_str()) : FactsOf(folder / names[i]);
  }
  if (at >= 0) close(at);
  return facts;
}

// The kind of each entry comes with its name where the file system says it; a link is
// looked up to tell a link to a folder.
FolderListing ListFolder(const std::filesystem::path& folder) {
  DIR* const listed = opendir(folder.c_str());
  if (listed == nullptr) return {{}, SystemMessage(errno)};
  FolderListing listing;
  errno = 0;
  while (const dirent* entry = readdir(listed)) {
    const char* name = entry->d_name;
    struct stat status {};
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN && fstatat(dirfd(listed), name, &status, AT_SYMLINK_NOFOLLOW) == 0)
      type = S_ISDIR(status.st_mode) ? DT_DIR : S_ISLNK(status.st_mode) ? DT_LNK : DT_REG;
    const bool folderLink = type == DT_LNK && fstatat(dirfd(listed), name, &status, 0) == 0 && S_ISDIR(status.st_mode);
    if (name[0] != '.' && !folderLink) listing.entries.push_back({name, type == DT_DIR});
    errno = 0;
  }
  if (errno != 0) listing = {{}, SystemMessage(errno)};
  closedir(listed);
  return listing;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  const std::optional<FileIdentity> first = IdentityOf(a);
  return first && first == IdentityOf(b);
}

std::string MakeFolders(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return error ? error.message() : std::string();
}

bool ErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void PrintError(const std::string& text) { std::fputs(text.c_str(), stderr); }

bool PrintOutput(const std::string& text) { return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0; }

}  // namespace m32tga
