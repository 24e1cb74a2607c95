#include "test_support.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include "system/command_line.h"
#else
#include <fcntl.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#endif

void ExpectSameImage(const RgbaImage& seen, const RgbaImage& want) {
  ASSERT_EQ(seen.width, want.width);
  ASSERT_EQ(seen.height, want.height);
  const auto differs = std::ranges::mismatch(seen.rgba, want.rgba).in1;
  EXPECT_TRUE(differs == seen.rgba.end()) << "pixel " << (differs - seen.rgba.begin()) / 4 << " differs";
}

fs::path Utf8Path(std::string_view name) { return fs::path(std::u8string(name.begin(), name.end())); }

std::string Utf8Name(const fs::path& path) {
  const std::u8string name = path.u8string();
  return {name.begin(), name.end()};
}

#ifdef _WIN32

constexpr UINT kKilledExitCode = 0xDEAD;

StartedConverter::StartedConverter(const std::vector<std::string>& arguments, const fs::path& out, const fs::path& err,
                                   std::uint64_t fileSizeLimit, const char* otherProgram, std::uint64_t processLimit) {
  if (fileSizeLimit != kNoLimit || otherProgram || processLimit != kNoLimit)
    throw std::invalid_argument("no limits or other program here");
  const fs::path program = testing_support::OwnFolder() / L"Pellicar.exe";
  std::wstring commandLine = sys::QuotedAsOneArgument(program.native());
  for (const std::string& argument : arguments)
    commandLine += L" " + sys::QuotedAsOneArgument(Utf8Path(argument).native());
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  const auto open = [&](const fs::path& path) {
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = open(out);
  startup.hStdError = open(err);
  PROCESS_INFORMATION started{};
  const BOOL ok = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                 &startup, &started);
  CloseHandle(startup.hStdOutput);
  CloseHandle(startup.hStdError);
  if (!ok) throw std::runtime_error("cannot start " + Utf8Name(program));
  CloseHandle(started.hThread);
  process_ = reinterpret_cast<std::intptr_t>(started.hProcess);
}

StartedConverter::~StartedConverter() {
  if (!waited_) Kill();
  Wait();
  CloseHandle(reinterpret_cast<HANDLE>(process_));
}

void StartedConverter::Kill() {
  if (!waited_) TerminateProcess(reinterpret_cast<HANDLE>(process_), kKilledExitCode);
}

int StartedConverter::Wait() {
  if (!waited_) {
    const HANDLE process = reinterpret_cast<HANDLE>(process_);
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    exitCode_ = code == kKilledExitCode ? -1 : static_cast<int>(code);
    waited_ = true;
  }
  return exitCode_;
}

#else  // POSIX

StartedConverter::StartedConverter(const std::vector<std::string>& arguments, const fs::path& out, const fs::path& err,
                                   std::uint64_t fileSizeLimit, const char* program, std::uint64_t processLimit) {
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("cannot fork");
  if (child > 0) {
    process_ = child;
    return;
  }
  dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
  dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
  if (fileSizeLimit != kNoLimit) {
    signal(SIGXFSZ, SIG_IGN);  // so that a write past the limit fails instead of killing
    const rlimit fileSize{fileSizeLimit, fileSizeLimit};
    setrlimit(RLIMIT_FSIZE, &fileSize);
  }
  if (processLimit != kNoLimit) {
    constexpr uid_t kStranger = 54'321;  // a user with no processes, whom the limit binds
    const rlimit processes{processLimit, processLimit};
    setrlimit(RLIMIT_NPROC, &processes);
    if (geteuid() == 0 && (setgid(kStranger) != 0 || setuid(kStranger) != 0)) _exit(126);
  }
  std::vector<char*> argv{const_cast<char*>(program ? program : PELLICAR_EXE)};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

StartedConverter::~StartedConverter() {
  Signal(SIGKILL);
  Wait();
}

void StartedConverter::Signal(int signal) {
  if (!waited_) kill(static_cast<pid_t>(process_), signal);
}

int StartedConverter::Wait() {
  if (!waited_) {
    int status = 0;
    while (waitpid(static_cast<pid_t>(process_), &status, 0) < 0 && errno == EINTR) {
    }
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    waited_ = true;
  }
  return exitCode_;
}

#endif

RunResult RunConverter(const std::vector<std::string>& arguments, std::uint64_t fileSizeLimit, const char* program,
                       std::uint64_t processLimit) {
  const TempDir streams;
  const fs::path out = streams / "stdout";
  const fs::path err = streams / "stderr";
  StartedConverter converter(arguments, out, err, fileSizeLimit, program, processLimit);
  const int exitCode = converter.Wait();
  const image_files::Bytes outBytes = ReadBytes(out), errBytes = ReadBytes(err);
  return {exitCode, {outBytes.begin(), outBytes.end()}, {errBytes.begin(), errBytes.end()}};
}

void WriteM32(const fs::path& file, const RgbaImage& image) {
  WriteBytes(file, image_files::EncodeM32(image, "textures/test/varied"));
}

image_files::Bytes RichM32(const RgbaImage& image, std::uint8_t seed) {
  image_files::Bytes m32 = image_files::EncodeM32(image, "");
  for (std::size_t at = 4; at < image_files::kHeaderBytes; ++at) {
    if (at < image_files::kWidthsAt || at >= image_files::kOffsetsAt + 64)
      m32[at] = static_cast<std::uint8_t>(at * seed + 1);
  }
  return m32;
}

#ifdef _WIN32
namespace {

// The standard library's listing stops at 260 characters; the system's does not.
void ListAll(const std::wstring& folder, const std::wstring& relative, std::vector<std::string>& names) {
  WIN32_FIND_DATAW found{};
  const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    names.push_back(Utf8Name(relative + name));
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ListAll(folder + L"\\" + name, relative + name + L"/", names);
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

}  // namespace
#endif

std::vector<std::string> Everything(const std::string& root) {
  std::vector<std::string> names;
#ifdef _WIN32
  ListAll(L"\\\\?\\" + fs::absolute(Utf8Path(root)).native(), L"", names);
#else
  for (const auto& entry : fs::recursive_directory_iterator(root))
    names.push_back(Utf8Name(entry.path().lexically_relative(root)));
#endif
  std::sort(names.begin(), names.end());
  return names;
}

void ExpectRefused(const RunResult& run, const std::string& start) {
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.err.starts_with(start)) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

std::vector<std::string> TemporaryNames(const TempDir& folder) {
  std::vector<std::string> names = folder.names();
  std::erase_if(names, [](const std::string& name) { return !name.starts_with(".pellicar-"); });
  return names;
}

bool TemporaryCame(const fs::path& folder) {
  const auto came = [&] {
    std::error_code missing;
    for (const auto& entry : fs::directory_iterator(folder, missing))
      if (entry.path().filename().native().starts_with(fs::path(".pellicar-").native())) return true;
    return false;
  };
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!came() && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
  return came();
}

void ExpectTga(const fs::path& tga, const RgbaImage& image, bool alpha) {
  const image_files::TgaFormat format{.depth = alpha ? 32u : 24u, .alphaBits = alpha ? 8u : 0u, .footer = true};
  EXPECT_TRUE(ReadBytes(tga) == image_files::MakeTga(image, format)) << "the TGA differs from the tests' own";
}
