// A stand-in for the converter, built as Pellicar.exe beside the window's tests. Each
// run appends one line to the file named by PELLICAR_TEST_LOG:
//   <start ns> <end ns> <process id> <own path> <working directory> <argument>...
// every text in hex, so that any name survives: two digits a byte on POSIX, four a
// UTF-16 unit on Windows, where each argument naming a file is logged in its long form
// (the window passes short names). PELLICAR_TEST_SLEEP_MS makes it take that long.
//
// The file named by its first argument may then tell it what to do, one instruction a line:
//   say TEXT   write TEXT and a line break to stderr (each say in turn)
//   spew N     write N bytes to stderr
//   exit N     exit with N
//   crash      die of SIGSEGV (an access violation on Windows)
//   hang       never end
// and, on Windows only:
//   reset N    reset the event whose handle is N, if this process has it
//   run LINE   start LINE as Windows starts a command line, and exit with its exit code
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using NativeString = std::filesystem::path::string_type;
using NativeChar = NativeString::value_type;

long long NowNs() { return std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1); }

std::string Hex(const NativeString& text) {
  static const char digits[] = "0123456789abcdef";
  std::string hex = text.empty() ? "-" : "";
  for (NativeChar c : text) {
    const auto unit = static_cast<std::make_unsigned_t<NativeChar>>(c);
    for (int shift = 8 * sizeof(NativeChar) - 4; shift >= 0; shift -= 4) hex += digits[(unit >> shift) & 15];
  }
  return hex;
}

#ifdef _WIN32
NativeString OwnPath() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

int ProcessId() { return static_cast<int>(GetCurrentProcessId()); }

NativeString Logged(const NativeString& argument) {
  std::wstring path(32768, L'\0');
  path.resize(GetLongPathNameW(argument.c_str(), path.data(), static_cast<DWORD>(path.size())));
  return path.empty() ? argument : path;
}

[[noreturn]] void Crash() {
  std::fflush(stderr);
  // Ends the process with the exception's code and no crash dialog, as Windows ends a
  // process whose error mode or job asks for none; Wine would start its debugger and
  // show its dialog whatever they ask.
  SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG { return EXCEPTION_EXECUTE_HANDLER; });
  RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  std::abort();
}

void Reset(unsigned long long handle) { ResetEvent(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle))); }

int RunCommandLine(const std::string& line) {
  std::wstring wide(line.size() + 1, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  DWORD code = 98;
  if (!CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
    return static_cast<int>(code);
  WaitForSingleObject(started.hProcess, INFINITE);
  GetExitCodeProcess(started.hProcess, &code);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return static_cast<int>(code);
}
#else
NativeString OwnPath() { return std::filesystem::read_symlink("/proc/self/exe").native(); }

int ProcessId() { return static_cast<int>(getpid()); }

NativeString Logged(const NativeString& argument) { return argument; }

[[noreturn]] void Crash() {
  std::fflush(stderr);
  signal(SIGSEGV, SIG_DFL);  // a sanitizer's handler would turn it into an exit
  raise(SIGSEGV);
  std::abort();
}

void Reset(unsigned long long) {}
int RunCommandLine(const std::string&) { return 98; }
#endif

bool AppendToLog(long long start, const std::vector<NativeString>& arguments) {
  std::string line = std::to_string(start) + ' ' + std::to_string(NowNs()) + ' ' + std::to_string(ProcessId()) + ' ' +
                     Hex(OwnPath()) + ' ' + Hex(std::filesystem::current_path().native());
  for (const auto& argument : arguments) line += ' ' + Hex(Logged(argument));
  // In one write; the tests never have two runs log at once.
  const char* log = std::getenv("PELLICAR_TEST_LOG");
  return !log || !*log || std::ofstream(std::filesystem::path(log), std::ios::app | std::ios::binary) << line << '\n';
}

// Carries out the instructions in the file named by the first argument, in turn.
int Obey(const std::vector<NativeString>& arguments) {
  std::ifstream file;
  if (!arguments.empty()) file.open(std::filesystem::path(arguments.front()));
  for (std::string line; std::getline(file, line);) {
    std::istringstream words(line);
    std::string verb, rest;
    words >> verb;
    std::getline(words >> std::ws, rest);
    if (verb == "say") std::fputs((rest + '\n').c_str(), stderr);
    if (verb == "spew") std::fputs(std::string(std::stoul(rest), 'x').c_str(), stderr);
    if (verb == "exit") return std::stoi(rest);
    if (verb == "crash") Crash();
    if (verb == "hang")
      for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    if (verb == "reset") Reset(std::stoull(rest));
    if (verb == "run") return RunCommandLine(rest);
  }
  return 0;
}

int Run(const std::vector<NativeString>& arguments) {
  const long long start = NowNs();
  if (const char* ms = std::getenv("PELLICAR_TEST_SLEEP_MS"))
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(ms)));
  return AppendToLog(start, arguments) ? Obey(arguments) : 99;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t* argv[]) {
  _setmode(_fileno(stderr), _O_BINARY);  // a line ends in "\n" alone, as on POSIX
  return Run(std::vector<NativeString>(argv + 1, argv + argc));
}
#else
int main(int argc, char* argv[]) { return Run(std::vector<NativeString>(argv + 1, argv + argc)); }
#endif
