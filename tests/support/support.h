#pragma once
// Helpers the tests share: a temporary folder, files, and the fake converter's log.
#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> names() const;  // of what is in it, sorted

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& content = "m32");

// One run of the fake converter, as its log line tells it.
struct ConverterRun {
  long long startNs = 0;
  long long endNs = 0;
  int processId = 0;
  std::string executable;
  std::string workingDirectory;
  std::vector<std::string> arguments;
};

std::vector<ConverterRun> ReadRuns(const std::string& logPath);

// Sets an environment variable for the life of the object, then puts back the old value.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool hadOld_;
};

}  // namespace testing_support
