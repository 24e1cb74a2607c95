#include "process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "directory.h"

extern char** environ;

namespace sys {
namespace {

bool IsExecutableFile(const NativeString& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

NativeString OwnFolder() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? NativeString() : self.parent_path().native();
}

std::vector<NativeString> SearchFolders() {
  std::vector<NativeString> folders;
  if (auto own = OwnFolder(); !own.empty()) folders.push_back(own);
  folders.push_back(CurrentDirectory());
  const char* path = std::getenv("PATH");
  if (!path) return folders;
  std::string_view rest = path;
  for (auto colon = rest.find(':');; colon = rest.find(':')) {
    const auto folder = rest.substr(0, colon);
    folders.push_back(folder.empty() ? CurrentDirectory() : NativeString(folder));  // an empty entry: here
    if (colon == std::string_view::npos) return folders;
    rest.remove_prefix(colon + 1);
  }
}

int OpenProcessHandle(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

pid_t Spawn(const NativeString& program, const std::vector<NativeString>& words, int& error) {
  std::vector<char*> argv;
  for (const auto& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  // The child starts with no signal blocked, whatever this thread blocks.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  error = posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? pid : 0;
}

bool Reap(ProcessInformation& process, int options) {
  int status = 0;
  pid_t result;
  do {
    result = waitpid(process.processId, &status, options);
  } while (result < 0 && errno == EINTR);
  if (result == 0) return false;
  process.ended = true;  // reaped, or not ours to wait for
  return true;
}

bool PollForEnd(ProcessInformation& process, int milliseconds) {
  pollfd watch{process.processHandle, POLLIN, 0};
  const int ready = poll(&watch, 1, milliseconds);
  return ready > 0 && Reap(process, 0);
}

// For kernels without process descriptors.
bool SleepForEnd(ProcessInformation& process, int milliseconds) {
  if (milliseconds < 0) return Reap(process, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!Reap(process, WNOHANG)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

std::vector<NativeString> SplitCommandLine(std::string_view commandLine) {
  std::vector<NativeString> words;
  NativeString word;
  bool inWord = false;
  for (std::size_t i = 0; i < commandLine.size(); ++i) {
    const char c = commandLine[i];
    if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      continue;
    }
    if (c == '\\' && i + 1 < commandLine.size()) ++i;
    word += commandLine[i];
    inWord = true;
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

NativeString FindProgram(const NativeString& name) {
  if (name.empty()) return {};
  if (name.find(kSeparator) != NativeString::npos) return IsExecutableFile(name) ? name : NativeString();
  for (const auto& folder : SearchFolders()) {
    auto candidate = JoinPath(folder, name);
    if (IsExecutableFile(candidate)) return candidate;
  }
  return {};
}

ProcessInformation CreateProcess(const NativeString& commandLine, std::error_code& error) {
  const auto words = SplitCommandLine(commandLine);
  const auto program = words.empty() ? NativeString() : FindProgram(words.front());
  if (program.empty()) {
    error = std::make_error_code(std::errc::no_such_file_or_directory);
    return {};
  }
  int spawnError = 0;
  ProcessInformation process;
  process.processId = Spawn(program, words, spawnError);
  if (process.processId == 0) {
    error = std::error_code(spawnError, std::generic_category());
    return {};
  }
  process.processHandle = OpenProcessHandle(process.processId);
  error.clear();
  return process;
}

bool WaitForProcess(ProcessInformation& process, int milliseconds) {
  if (process.processId == 0 || process.ended) return true;
  if (process.processHandle >= 0) return PollForEnd(process, milliseconds);
  return SleepForEnd(process, milliseconds);
}

void CloseProcess(ProcessInformation& process) {
  if (process.processHandle >= 0) close(process.processHandle);
  process.processHandle = -1;
}

}  // namespace sys
