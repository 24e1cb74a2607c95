// File operations on POSIX systems: a tree's files reached from their folders' descriptors.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <new>
#include <random>
#include <system_error>
#include <utility>

#include "files.h"
#include "files_internal.h"
#include "os.h"

namespace sys {
namespace {

std::string SystemMessage(int code) { return std::generic_category().message(code); }

// Why a file of this kind cannot be read as bytes; empty for a regular file.
std::string NotAFile(const struct stat& status) {
  if (S_ISDIR(status.st_mode)) return "a directory, not a file";
  return S_ISREG(status.st_mode) ? std::string() : "not a regular file";
}

// The file's size, or a reason why it is not a file we can read as bytes.
std::string RegularFileSize(int fd, std::uint64_t& size) {
  struct stat status {};
  if (fstat(fd, &status) != 0) return "cannot read: " + SystemMessage(errno);
  size = static_cast<std::uint64_t>(status.st_size);
  return NotAFile(status);
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

struct FolderHandle {
  int fd = -1;
  explicit FolderHandle(int descriptor) : fd(descriptor) {}
  ~FolderHandle() { close(fd); }
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
};

InputFile::InputFile(const FolderHandle& folder, const FileName& name) : handle_(new Handle) {
  // Looked at first, so that a device is never opened: opening one may do something.
  struct stat status {};
  if (fstatat(folder.fd, name.c_str(), &status, 0) == 0) error_ = NotAFile(status);
  if (!error_.empty()) return;
  handle_->fd = openat(folder.fd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (handle_->fd < 0) {
    error_ = "cannot open: " + SystemMessage(errno);
    return;
  }
  error_ = RegularFileSize(handle_->fd, size_);
}

namespace {

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A named temporary file, by its folder's descriptor and its name there, as a signal's
// handler can remove it.
struct Temporary {
  int folder = -1;
  std::array<char, 40> name{};
  bool Named() const { return name[0] != '\0'; }
};

// The named temporary files to remove when a signal ends the process, one slot for each
// file being written at once; only where the file system cannot hold a file without a
// name. Each name is put here before the file can exist, so that whichever thread the
// signal reaches removes every one.
constexpr std::size_t kTemporarySlots = kMostOutputsAtOnce;
std::atomic<const Temporary*> temporariesToRemove[kTemporarySlots];

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
    if (const Temporary* temporary = slot.exchange(nullptr)) unlinkat(temporary->folder, temporary->name.data(), 0);
  }
  ::signal(signal, SIG_DFL);
  raise(signal);
}

void InstallCleanupHandlers() {
  for (const int signal : kCleanupSignals) {
    struct sigaction action {};
    sigaction(signal, nullptr, &action);
    if (action.sa_handler == SIG_IGN) continue;  // as under nohup: stay ignored
    action.sa_handler = RemoveTemporariesAndDie;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(signal, &action, nullptr);
  }
}

// More folders and files may be open at once than the default soft limit allows.
void RaiseOpenFileLimit() {
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
}

std::string Environment(const char* name) {
  const char* value = getenv(name);
  return value != nullptr ? value : "";
}

// What every thread reads and none changes, settled before any thread starts.
struct ProcessSettings {
  mode_t umask = 0;
  // Test seams. PELLICAR_TEST_NAMED_TEMPORARY set gives the named temporary file that
  // file systems without O_TMPFILE get. Writing the output that PELLICAR_TEST_THROW_WRITING
  // names throws, as memory running out would, a failure no step of the conversion
  // foresees. PELLICAR_TEST_COMMIT_WHEN holds every output back from its name until the
  // file it names exists, so that a test may change the tree while a conversion is under way.
  bool namedTemporary = false;
  std::string throwWriting;
  std::string commitWhen;
};

const ProcessSettings& Settings() {
  static const ProcessSettings settings = [] {
    ProcessSettings read;
    read.umask = umask(0);
    umask(read.umask);
    InstallCleanupHandlers();
    RaiseOpenFileLimit();
    read.namedTemporary = getenv("PELLICAR_TEST_NAMED_TEMPORARY") != nullptr;
    read.throwWriting = Environment("PELLICAR_TEST_THROW_WRITING");
    read.commitWhen = Environment("PELLICAR_TEST_COMMIT_WHEN");
    return read;
  }();
  return settings;
}

void WaitForLeaveToCommit() {
  const std::string& when = Settings().commitWhen;
  const timespec millisecond{0, 1'000'000};
  while (!when.empty() && access(when.c_str(), F_OK) != 0) nanosleep(&millisecond, nullptr);
}

// The slot that now holds `temporary`; none when every slot is taken.
std::atomic<const Temporary*>* RemoveOnSignals(const Temporary* temporary) {
  for (auto& slot : temporariesToRemove) {
    const Temporary* free = nullptr;
    if (slot.compare_exchange_strong(free, temporary)) return &slot;
  }
  return nullptr;
}

// Takes the name back before its memory goes. When a signal's handler took it first,
// that handler is ending the process and may still read the name: wait for the end.
void KeepOnSignals(std::atomic<const Temporary*>*& slot, const Temporary* temporary) {
  if (slot != nullptr && !slot->compare_exchange_strong(temporary, nullptr)) {
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
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~HeldSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

 private:
  sigset_t previous_;
};

bool LacksUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

mode_t NewFileMode() {
  constexpr mode_t kReadWriteForAll = 0666;
  return kReadWriteForAll & ~Settings().umask;
}

bool SameAsStandardStream(const struct stat& file) {
  for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat status {};
    if (fstat(stream, &status) == 0 && status.st_dev == file.st_dev && status.st_ino == file.st_ino) return true;
  }
  return false;
}

// What the target is decides: a file is replaced with its permission bits, never
// set-user-ID, set-group-ID or sticky; a link with a new file's, when it leads to a
// regular file that is not this program's output (/dev/stdout) or to nothing. A reason
// when the target may not be replaced: a read-only file, or anything that is not a
// regular file (a folder, a device, a pipe), or a link to one.
std::string TargetPermissions(int at, const FileName& target, const std::string& shown, mode_t& mode, bool& exists) {
  constexpr mode_t kPermissionBits = 0777;
  constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
  struct stat status {};
  exists = fstatat(at, target.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
  const int problem = errno;
  mode = NewFileMode();
  if (!exists) return problem == ENOENT ? std::string() : "cannot write " + shown + ": " + SystemMessage(problem);
  const bool link = S_ISLNK(status.st_mode);
  if (link && fstatat(at, target.c_str(), &status, 0) != 0) return {};  // leads nowhere
  if (S_ISDIR(status.st_mode)) return shown + " is a folder, not a file";
  if (!S_ISREG(status.st_mode)) return "not replacing " + shown + ": it is not a regular file";
  if (link) {
    return SameAsStandardStream(status) ? "not replacing " + shown + ": it leads to standard output (-o - writes there)"
                                        : std::string();
  }
  const bool readOnly = (status.st_mode & kWriteBits) == 0 || faccessat(at, target.c_str(), W_OK, AT_EACCESS);
  if (readOnly) return "not replacing " + shown + ": the file is read-only";
  mode = status.st_mode & kPermissionBits;
  return {};
}

// Gives the unnamed file `fd` the name `name` in the folder `at`; 0, or the errno of the failure.
int LinkUnnamed(int fd, int at, const char* name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), at, name, AT_SYMLINK_FOLLOW) == 0) return 0;
  // Without /proc, the same by descriptor, which needs privilege.
  if (errno != ENOENT) return errno;
  return linkat(fd, "", at, name, AT_EMPTY_PATH) == 0 ? 0 : errno;
}

#ifdef O_PATH
constexpr int kLookUpOnly = O_PATH;  // enough to reach and make what is inside
#else
constexpr int kLookUpOnly = O_RDONLY;
#endif

}  // namespace

void PrepareProcess() { Settings(); }

struct ReplacingFile::Handle {
  HeldFolder folder;  // first, so that it outlives the names below
  FileName name;
  int fd = -1;
  Temporary named;  // the named temporary file, when there is one
  std::atomic<const Temporary*>* slot = nullptr;
  bool replacing = false;  // whether something has the target's name
  bool throwOnWrite = false;

  int At() const { return folder->fd; }
  // Registers a random name and holds off a signal's clean-up until Named(); when the
  // clean-up has begun, waits for the end it brings.
  void Name() {
    thread_local std::mt19937_64 random{std::random_device{}()};  // one per worker: -j runs several
    ++naming;
    if (dying) {
      for (;;) pause();
    }
    named.folder = At();
    std::snprintf(named.name.data(), named.name.size(), "%s%llu", kTemporaryPrefix,
                  static_cast<unsigned long long>(random()));
    slot = RemoveOnSignals(&named);
  }
  static void Named() { --naming; }
  void Forget() {
    KeepOnSignals(slot, &named);
    named.name[0] = '\0';
  }
  ~Handle() {
    if (fd >= 0) close(fd);
    if (named.Named()) {
      unlinkat(At(), named.name.data(), 0);
      Forget();
    }
  }
};

ReplacingFile::ReplacingFile(const OpenedFolder& folder, const FileName& name, std::filesystem::path shown, Mode mode)
    : handle_(new Handle), target_(std::move(shown)) {
  const std::string target = DisplayName(target_);
  const std::string beside = "cannot create a file beside " + target + ": ";
  handle_->folder = folder.held;
  handle_->name = name;
  if (!folder.held) {
    if (!folder.error.empty()) error_ = beside + folder.error;
    return;
  }
  mode_t permissions = 0;
  error_ = TargetPermissions(handle_->At(), name, target, permissions, handle_->replacing);
  if (!error_.empty()) return;
  if (mode == Mode::kCheckOnly) {
    const std::string cannot = CannotCreateIn(*folder.held);
    if (!cannot.empty()) error_ = beside + cannot;
    return;
  }
  handle_->throwOnWrite = !Settings().throwWriting.empty() && target_ == Settings().throwWriting;
  int problem = EOPNOTSUPP;
  if (!Settings().namedTemporary) {
    handle_->fd = openat(handle_->At(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, permissions);
    problem = errno;
  }
  if (handle_->fd < 0 && LacksUnnamedFiles(problem)) problem = EEXIST;
  for (int attempt = 0; handle_->fd < 0 && problem == EEXIST && attempt < 100; ++attempt) {
    handle_->Name();
    handle_->fd = openat(handle_->At(), handle_->named.name.data(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    problem = errno;
    Handle::Named();
    if (handle_->fd < 0) handle_->Forget();
  }
  if (handle_->fd < 0) {
    error_ = beside + SystemMessage(problem);
  } else if (fchmod(handle_->fd, permissions) != 0) {
    error_ = "cannot set permissions of " + target + ": " + SystemMessage(errno);
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
  WaitForLeaveToCommit();
  const HeldSignals held;
  const int at = handle_->At();
  const char* name = handle_->name.c_str();
  if (!handle_->named.Named()) {
    // Straight to the target's name when it is free; else under a temporary name first.
    int problem = LinkUnnamed(handle_->fd, at, name);
    if (problem == 0) return true;
    for (int attempt = 0; attempt < 100 && problem == EEXIST; ++attempt) {
      handle_->Name();
      problem = LinkUnnamed(handle_->fd, at, handle_->named.name.data());
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
  if (renameat(at, handle_->named.name.data(), at, name) != 0) {
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

bool StandardOutput::Write(std::span<const std::uint8_t> bytes) {
  while (error_.empty() && !bytes.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (written > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(written));
      written_ += static_cast<std::uint64_t>(written);
    } else if (written == 0 || errno != EINTR) {
      error_ = "cannot write to standard output: " + SystemMessage(written == 0 ? EIO : errno);
    }
  }
  return error_.empty();
}

std::optional<FileIdentity> StandardOutputIdentity() {
  struct stat status {};
  if (fstat(STDOUT_FILENO, &status) != 0) return std::nullopt;
  return FileIdentity{status.st_dev, 0, status.st_ino};
}

NamedFiles FilesNamedBy(const std::filesystem::path& argument) { return {{argument}, {}}; }

namespace {

std::optional<FileFacts> FactsAt(int at, const char* name) {
  constexpr std::int64_t kNanoseconds = 1'000'000'000;
  struct stat status {};
  if (fstatat(at, name, &status, 0) != 0) return std::nullopt;
  return FileFacts{{status.st_dev, 0, status.st_ino},
                   status.st_mtim.tv_sec * kNanoseconds + status.st_mtim.tv_nsec,
                   0,
                   S_ISREG(status.st_mode)};
}

// FAT keeps times in steps of 2 seconds, and a file written there may seem older than
// the input it was made from a moment before.
std::int64_t TimeStep([[maybe_unused]] int folder) {
#ifdef __linux__
  constexpr std::int64_t kTwoSeconds = 2'000'000'000;
  constexpr decltype(statfs::f_type) kFat = 0x4d44;  // MSDOS_SUPER_MAGIC: vfat and msdos
  struct statfs system {};
  if (fstatfs(folder, &system) == 0 && system.f_type == kFat) return kTwoSeconds;
#endif
  return 0;
}

// A name that cannot be opened as a folder because it is a link says so: O_DIRECTORY
// reports a link as "not a directory" before O_NOFOLLOW could report it as a link.
std::string FolderMessage(int at, const FileName& name, int problem) {
  struct stat status {};
  if ((problem == ENOTDIR || problem == ELOOP) && fstatat(at, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISLNK(status.st_mode))
    return "a link, which is not followed";
  return SystemMessage(problem);
}

FolderOpening Opening(int fd, int problem, std::string error) {
  if (fd >= 0) return {std::make_shared<const FolderHandle>(fd), {}, false};
  return {nullptr, std::move(error), problem == ENOENT};
}

}  // namespace

std::optional<FileFacts> FactsOf(const std::filesystem::path& path) { return FactsAt(AT_FDCWD, path.c_str()); }

std::vector<std::optional<FileFacts>> FactsIn(const FolderHandle& folder, std::span<const FileName> names) {
  std::vector<std::optional<FileFacts>> facts(names.size());
  const std::int64_t step = names.empty() ? 0 : TimeStep(folder.fd);
  for (std::size_t i = 0; i < names.size(); ++i) {
    facts[i] = FactsAt(folder.fd, names[i].c_str());
    if (facts[i]) facts[i]->step = step;
  }
  return facts;
}

FolderOpening OpenFolderAt(const std::filesystem::path& path) {
  const int fd = open(path.c_str(), kLookUpOnly | O_DIRECTORY | O_CLOEXEC);
  const int problem = errno;
  return Opening(fd, problem, fd < 0 ? SystemMessage(problem) : std::string());
}

FolderOpening OpenFolderIn(const HeldFolder& parent, const FileName& name) {
  const int fd = openat(parent->fd, name.c_str(), kLookUpOnly | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  const int problem = errno;
  return Opening(fd, problem, fd < 0 ? FolderMessage(parent->fd, name, problem) : std::string());
}

std::string MakeFolderAt(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return error ? error.message() : std::string();
}

std::string MakeFolderIn(const FolderHandle& parent, const FileName& name) {
  return mkdirat(parent.fd, name.c_str(), 0777) == 0 || errno == EEXIST ? std::string() : SystemMessage(errno);
}

std::string CannotCreateIn(const FolderHandle& folder) {
  return faccessat(folder.fd, ".", W_OK | X_OK, AT_EACCESS) == 0 ? std::string() : SystemMessage(errno);
}

FileIdentity IdentityOf(const FolderHandle& folder) {
  struct stat status {};
  fstat(folder.fd, &status);
  return {status.st_dev, 0, status.st_ino};
}

FileName ComparedName(const FileName& name) { return name; }

FileName KnownName(const FileName& name) { return name; }

std::string OutputPathRefusal(const std::filesystem::path&) { return {}; }

FolderListing ListFolder(const FolderHandle& folder) {
  std::vector<os::VisibleEntry> visible;
  if (const int problem = os::ListVisibleAt(folder.fd, ".", visible); problem != 0) return {{}, SystemMessage(problem)};
  FolderListing listing;
  for (os::VisibleEntry& entry : visible) {
    const bool folderEntry = entry.kind == os::EntryKind::kDirectory;
    if (!(folderEntry && entry.link)) listing.entries.push_back({std::move(entry.name), folderEntry});
  }
  return listing;
}

}  // namespace sys
