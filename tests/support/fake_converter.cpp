// A stand-in for the converter, built as Pellicar.exe beside the window's tests. Each
// run appends one line to the file named by PELLICAR_TEST_LOG:
//   <start ns> <end ns> <own path> <working directory> <argument>...
// every text in hex, so that any bytes survive. PELLICAR_TEST_SLEEP_MS makes it take
// that long, PELLICAR_TEST_CREATE names a file it creates, PELLICAR_TEST_EXIT its exit code.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

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

}  // namespace

int main(int argc, char* argv[]) {
  const long long start = NowNs();
  if (int ms = EnvNumber("PELLICAR_TEST_SLEEP_MS")) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  if (const char* create = std::getenv("PELLICAR_TEST_CREATE")) close(open(create, O_CREAT | O_WRONLY, 0644));

  std::vector<std::string> fields{std::to_string(start), std::to_string(NowNs()),
                                  Hex(std::filesystem::read_symlink("/proc/self/exe").native()),
                                  Hex(std::filesystem::current_path().native())};
  for (int i = 1; i < argc; ++i) fields.push_back(Hex(argv[i]));
  std::string line;
  for (const auto& field : fields) line.append(line.empty() ? "" : " ").append(field);
  line.push_back('\n');
  if (const char* log = std::getenv("PELLICAR_TEST_LOG")) {
    const int fd = open(log, O_CREAT | O_WRONLY | O_APPEND, 0644);
    if (fd < 0 || write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return 99;
    close(fd);
  }
  return EnvNumber("PELLICAR_TEST_EXIT");
}
