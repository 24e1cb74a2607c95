#pragma once
// Helpers the tests share: a temporary folder, files, and the fake converter's log.
#include <filesystem>
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
  // `name` in the folder; '/' in it stands for the platform's separator.
  std::string operator/(const std::string& name) const;
  std::vector<std::string> names() const;  // of what is in it, sorted

 private:
  std::string path_;
};

// A path written with '/' as the platform writes it.
std::string NativePath(std::string path);
// A path held as UTF-8 on Windows, as the system's bytes elsewhere.
std::filesystem::path FsPath(const std::string& path);

void WriteFile(const std::string& path, const std::string& content = "m32");
// Hides a file from the lists: on Windows by its attribute; elsewhere a name that begins
// with '.' is hidden already.
void MakeHidden(const std::string& path);
// Whether the process with this id still runs (or, on POSIX, lingers unreaped).
bool ProcessRuns(int processId);
// The folder of the running test program.
std::filesystem::path OwnFolder();

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
