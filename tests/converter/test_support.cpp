#include "test_support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

std::string Slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

[[noreturn]] void ExecConverter(const std::vector<std::string>& arguments, const fs::path& out, const fs::path& err,
                                rlim_t limit) {
  dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
  dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
  signal(SIGXFSZ, SIG_IGN);  // so that a write past the limit fails instead of killing
  const rlimit fileSize{limit, limit};
  setrlimit(RLIMIT_FSIZE, &fileSize);
  std::vector<char*> argv{const_cast<char*>(PELLICAR_EXE)};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  execv(PELLICAR_EXE, argv.data());
  _exit(127);
}

}  // namespace

RunResult RunConverter(const std::vector<std::string>& arguments, rlim_t fileSizeLimit) {
  const TempDir streams;
  const fs::path out = streams / "stdout";
  const fs::path err = streams / "stderr";
  const pid_t child = fork();
  if (child == 0) ExecConverter(arguments, out, err, fileSizeLimit);
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
}

std::vector<std::uint8_t> ReadBytes(const fs::path& file) {
  const std::string text = Slurp(file);
  return {text.begin(), text.end()};
}

void WriteBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

m32write::RgbaImage VariedImage(std::uint32_t width, std::uint32_t height) {
  m32write::RgbaImage image{width, height, {}};
  for (std::size_t i = 0; i < std::size_t{width} * height; ++i) {
    image.rgba.push_back(static_cast<std::uint8_t>(i * 7 + 1));
    image.rgba.push_back(static_cast<std::uint8_t>(i * 13 / 3 + 50));
    image.rgba.push_back(static_cast<std::uint8_t>(255 - i * 29));
    image.rgba.push_back(static_cast<std::uint8_t>(i));
  }
  return image;
}
