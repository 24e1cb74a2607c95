// A stand-in for the converter, built as Pellicar.exe beside the window's tests. Each
// run appends one line to the file named by PELLICAR_TEST_LOG:
//   <start ns> <end ns> <own path> <working directory> <argument>...
// every text in hex, so that any bytes survive (UTF-8 on Windows, where each argument is
// logged in its long form: the window passes short names). PELLICAR_TEST_SLEEP_MS makes
// it take that long, PELLICAR_TEST_CREATE names a file it creates, PELLICAR_TEST_EXIT
// its exit code.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

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
#else
std::string OwnPath() { return std::filesystem::read_symlink("/proc/self/exe").native(); }
#endif

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t* argv[]) {
#else
int main(int argc, char* argv[]) {
#endif
  const long long start = NowNs();
  if (int ms = EnvNumber("PELLICAR_TEST_SLEEP_MS")) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  if (const char* create = std::getenv("PELLICAR_TEST_CREATE")) std::ofstream(FromBytes(create), std::ios::app);

  std::vector<std::string> fields{std::to_string(start), std::to_string(NowNs()), Hex(OwnPath()),
                                  Hex(Bytes(std::filesystem::current_path()))};
#ifdef _WIN32
  for (int i = 1; i < argc; ++i) fields.push_back(Hex(LongForm(argv[i])));
#else
  for (int i = 1; i < argc; ++i) fields.push_back(Hex(argv[i]));
#endif
  std::string line;
  for (const auto& field : fields) line.append(line.empty() ? "" : " ").append(field);
  line.push_back('\n');
  if (const char* log = std::getenv("PELLICAR_TEST_LOG")) {
    std::ofstream out(FromBytes(log), std::ios::binary | std::ios::app);
    if (!out.write(line.data(), static_cast<std::streamsize>(line.size())).flush()) return 99;
  }
  return EnvNumber("PELLICAR_TEST_EXIT");
}
