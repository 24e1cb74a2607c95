// A stand-in for the converter, built as Pellicar.exe beside the window's tests. Each
// run appends one line to the file named by PELLICAR_TEST_LOG:
//   <start ns> <end ns> <process id> <own path> <working directory> <argument>...
// every text in hex, so that any bytes survive (UTF-8 on Windows, where each argument is
// logged in its long form: the window passes short names). PELLICAR_TEST_SLEEP_MS makes
// it take that long, PELLICAR_TEST_CREATE names a file it creates, PELLICAR_TEST_EXIT
// its exit code.
//
// The file named by its first argument may tell it how to end, one instruction a line:
//   say TEXT   write TEXT and a line break to stderr (each say in turn)
//   spew N     write N bytes to stderr
//   exit N     exit with N
//   crash      die as a crash does: of SIGSEGV, or with an access violation on Windows
//   hang       log the run at once, then never end
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

struct Instructions {
  std::string say;
  long long spew = 0;
  int exitCode = 0;
  bool crash = false;
  bool hang = false;
};

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex = bytes.empty() ? "-" : "";
  for (unsigned char b : bytes) hex += {digits[b >> 4], digits[b & 15]};
  return hex;
}

int EnvNumber(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::atoi(value) : 0;
}

std::string Bytes(const std::filesystem::path& path) {
  const auto utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

std::filesystem::path FromBytes(const char* bytes) {
  const std::string text(bytes);
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

#ifdef _WIN32
std::string OwnPath() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return Bytes(path);
}

std::string LongForm(const wchar_t* argument) {
  std::wstring path(32768, L'\0');
  const DWORD length = GetLongPathNameW(argument, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length < path.size() ? length : 0);
  return Bytes(path.empty() ? std::wstring(argument) : path);
}

int ProcessId() { return static_cast<int>(GetCurrentProcessId()); }
#else
std::string OwnPath() { return std::filesystem::read_symlink("/proc/self/exe").native(); }

int ProcessId() { return static_cast<int>(getpid()); }
#endif

template <typename Char>
Instructions ReadInstructions(int argc, Char* argv[]) {
  Instructions instructions;
  instructions.exitCode = EnvNumber("PELLICAR_TEST_EXIT");
  std::ifstream file(argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::path());
  for (std::string line; std::getline(file, line);) {
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb == "say") {
      std::string text;
      std::getline(words >> std::ws, text);
      instructions.say += text + '\n';
    }
    if (verb == "spew") words >> instructions.spew;
    if (verb == "exit") words >> instructions.exitCode;
    instructions.crash |= verb == "crash";
    instructions.hang |= verb == "hang";
  }
  return instructions;
}

template <typename Char>
bool AppendToLog(long long start, int argc, Char* argv[]) {
  std::vector<std::string> fields{std::to_string(start), std::to_string(NowNs()), std::to_string(ProcessId()),
                                  Hex(OwnPath()), Hex(Bytes(std::filesystem::current_path()))};
#ifdef _WIN32
  for (int i = 1; i < argc; ++i) fields.push_back(Hex(LongForm(argv[i])));
#else
  for (int i = 1; i < argc; ++i) fields.push_back(Hex(argv[i]));
#endif
  std::string line;
  for (const auto& field : fields) line.append(line.empty() ? "" : " ").append(field);
  line.push_back('\n');
  const char* log = std::getenv("PELLICAR_TEST_LOG");
  if (!log) return true;
  std::ofstream out(FromBytes(log), std::ios::binary | std::ios::app);
  return static_cast<bool>(out.write(line.data(), static_cast<std::streamsize>(line.size())).flush());
}

void Spew(long long count) {
  const std::string block(65536, 'x');
  for (; count > 0; count -= static_cast<long long>(block.size()))
    std::fwrite(block.data(), 1, static_cast<std::size_t>(std::min<long long>(count, block.size())), stderr);
}

[[noreturn]] void Crash() {
  std::fflush(stderr);
#ifdef _WIN32
  // Ends as an access violation does, without the system's crash dialog.
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(EXCEPTION_ACCESS_VIOLATION));
#else
  std::signal(SIGSEGV, SIG_DFL);  // a sanitizer's handler would turn it into an exit
  std::raise(SIGSEGV);
#endif
  std::abort();
}

[[noreturn]] void Hang() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t* argv[]) {
#else
int main(int argc, char* argv[]) {
#endif
  const long long start = NowNs();
  const Instructions instructions = ReadInstructions(argc, argv);
  if (instructions.hang) {
    AppendToLog(start, argc, argv);
    Hang();
  }
  if (int ms = EnvNumber("PELLICAR_TEST_SLEEP_MS")) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  if (const char* create = std::getenv("PELLICAR_TEST_CREATE")) std::ofstream(FromBytes(create), std::ios::app);
  if (!AppendToLog(start, argc, argv)) return 99;
  std::fputs(instructions.say.c_str(), stderr);
  Spew(instructions.spew);
  if (instructions.crash) Crash();
  return instructions.exitCode;
}
