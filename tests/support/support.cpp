#include "support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace testing_support {
namespace {

// Paths are held as UTF-8 on Windows, as the system's bytes elsewhere.
std::string Narrow(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::u8string utf8 = path.u8string();
  return {utf8.begin(), utf8.end()};
#else
  return path.native();
#endif
}

// The fake converter's hex: two digits a byte on POSIX, four a UTF-16 unit on Windows.
std::string Unhex(const std::string& hex) {
  using Unit = std::filesystem::path::value_type;
  constexpr std::size_t kDigits = 2 * sizeof(Unit);
  if (hex == "-") return {};
  std::filesystem::path::string_type text;
  for (std::size_t i = 0; i + kDigits <= hex.size(); i += kDigits)
    text += static_cast<Unit>(std::stoul(hex.substr(i, kDigits), nullptr, 16));
  return Narrow(text);
}

// Sets the variable to `value`, or removes it when there is none.
void SetEnv(const std::string& name, const std::string* value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
#endif
}

}  // namespace

TempDir::TempDir() {
  const auto folder =
      std::filesystem::temp_directory_path() / ("pellicar-test-" + std::to_string(std::random_device()()));
  if (!std::filesystem::create_directory(folder)) throw std::runtime_error("cannot create a temporary folder");
  path_ = Narrow(folder);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::names() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(Narrow(entry.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

std::string TempDir::operator/(const std::string& name) const { return NativePath(path_ + "/" + name); }

std::string NativePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', static_cast<char>(std::filesystem::path::preferred_separator));
  return path;
}

std::filesystem::path FsPath(const std::string& path) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
#else
  return path;
#endif
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(FsPath(path), std::ios::binary) << content;
}

void MakeHidden([[maybe_unused]] const std::string& path) {
#ifdef _WIN32
  SetFileAttributesW(FsPath(path).c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
}

bool ProcessRuns(int processId) {
#ifdef _WIN32
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
  if (!process) return false;
  const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return runs;
#else
  return kill(processId, 0) == 0 || errno != ESRCH;
#endif
}

std::filesystem::path OwnFolder() {
#ifdef _WIN32
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return std::filesystem::path(path).parent_path();
#else
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
#endif
}

std::vector<ConverterRun> ReadRuns(const std::string& logPath) {
  std::vector<ConverterRun> runs;
  std::ifstream log(FsPath(logPath));
  for (std::string line; std::getline(log, line);) {
    std::istringstream fields(line);
    ConverterRun run;
    std::string executable, directory, argument;
    fields >> run.startNs >> run.endNs >> run.processId >> executable >> directory;
    run.executable = Unhex(executable);
    run.workingDirectory = Unhex(directory);
    while (fields >> argument) run.arguments.push_back(Unhex(argument));
    runs.push_back(run);
  }
  return runs;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name), hadOld_(std::getenv(name) != nullptr) {
  if (hadOld_) old_ = std::getenv(name);
  SetEnv(name_, &value);
}

ScopedEnv::~ScopedEnv() { SetEnv(name_, hadOld_ ? &old_ : nullptr); }

}  // namespace testing_support
