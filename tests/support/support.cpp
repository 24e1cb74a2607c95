#include "support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {
namespace {

std::string Unhex(const std::string& hex) {
  if (hex == "-") return {};
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pellicar-test-XXXXXX").native();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::names() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::vector<ConverterRun> ReadRuns(const std::string& logPath) {
  std::vector<ConverterRun> runs;
  std::ifstream log(logPath);
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
  setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (hadOld_)
    setenv(name_.c_str(), old_.c_str(), 1);
  else
    unsetenv(name_.c_str());
}

}  // namespace testing_support
