// A stand-in for the converter, built as Pellicar.exe beside the window's tests. Each
// run appends one line to the file named by PELLICAR_TEST_LOG:
//   <start ns> <end ns> <process id> <own path> <working directory> <argument>...
// every text in hex, so that any bytes survive. PELLICAR_TEST_SLEEP_MS makes it take
// that long, PELLICAR_TEST_CREATE names a file it creates, PELLICAR_TEST_EXIT its exit code.
//
// The file named by its first argument may tell it how to end, one instruction a line:
//   say TEXT   write TEXT and a line break to stderr (each say in turn)
//   spew N     write N bytes to stderr
//   exit N     exit with N
//   crash      die of SIGSEGV
//   hang       log the run at once, then never end
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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

Instructions ReadInstructions(int argc, char* argv[]) {
  Instructions instructions;
  instructions.exitCode = EnvNumber("PELLICAR_TEST_EXIT");
  std::ifstream file(argc > 1 ? argv[1] : "");
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

bool AppendToLog(long long start, int argc, char* argv[]) {
  std::vector<std::string> fields{std::to_string(start), std::to_string(NowNs()), std::to_string(getpid()),
                                  Hex(std::filesystem::read_symlink("/proc/self/exe").native()),
                                  Hex(std::filesystem::current_path().native())};
  for (int i = 1; i < argc; ++i) fields.push_back(Hex(argv[i]));
  std::string line;
  for (const auto& field : fields) line.append(line.empty() ? "" : " ").append(field);
  line.push_back('\n');
  const char* log = std::getenv("PELLICAR_TEST_LOG");
  if (!log) return true;
  const int fd = open(log, O_CREAT | O_WRONLY | O_APPEND, 0644);
  const bool written = fd >= 0 && write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  if (fd >= 0) close(fd);
  return written;
}

void Spew(long long count) {
  const std::string block(65536, 'x');
  for (; count > 0; count -= static_cast<long long>(block.size()))
    std::fwrite(block.data(), 1, static_cast<std::size_t>(std::min<long long>(count, block.size())), stderr);
}

[[noreturn]] void Crash() {
  std::fflush(stderr);
  signal(SIGSEGV, SIG_DFL);  // a sanitizer's handler would turn it into an exit
  raise(SIGSEGV);
  std::abort();
}

}  // namespace

int main(int argc, char* argv[]) {
  const long long start = NowNs();
  const Instructions instructions = ReadInstructions(argc, argv);
  if (instructions.hang) {
    AppendToLog(start, argc, argv);
    for (;;) pause();
  }
  if (int ms = EnvNumber("PELLICAR_TEST_SLEEP_MS")) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  if (const char* create = std::getenv("PELLICAR_TEST_CREATE")) close(open(create, O_CREAT | O_WRONLY, 0644));
  if (!AppendToLog(start, argc, argv)) return 99;
  std::fputs(instructions.say.c_str(), stderr);
  Spew(instructions.spew);
  if (instructions.crash) Crash();
  return instructions.exitCode;
}
