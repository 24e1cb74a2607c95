// Running Pellicar.exe as a user would, and the files around it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "support/image_files.h"
#include "support/support.h"

using image_files::ReadBytes;
using image_files::RgbaImage;
using image_files::VariedImage;
using image_files::WriteBytes;
using testing_support::TempDir;

namespace fs = std::filesystem;

// Names in the tests are UTF-8 on every system.
fs::path Utf8Path(std::string_view name);
std::string Utf8Name(const fs::path& path);

// What stands at an output before a conversion that must leave it as it was.
inline const image_files::Bytes kEarlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};

struct RunResult {
  int exitCode = -1;  // -1 when the converter was killed
  std::string out;
  std::string err;
};

// The converter started with exactly these arguments, no shell in between, its output
// and errors going to files; killed and waited for when it is let go.
class StartedConverter {
 public:
  static constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();

  // With a file size limit (POSIX only), its writes fail past that many bytes; with a
  // process limit, no more than that many processes and threads of its user run (root,
  // who has no such limit, runs it as a user with no processes). Another program may be
  // run the same way (POSIX only).
  StartedConverter(const std::vector<std::string>& arguments, const fs::path& out, const fs::path& err,
                   std::uint64_t fileSizeLimit = kNoLimit, const char* program = nullptr,
                   std::uint64_t processLimit = kNoLimit);
  ~StartedConverter();
  StartedConverter(const StartedConverter&) = delete;
  StartedConverter& operator=(const StartedConverter&) = delete;

#ifdef _WIN32
  void Kill();  // at once, giving it no chance to clean up
#else
  void Signal(int signal);
#endif
  int Wait();  // its exit code, -1 when it was killed

 private:
  std::intptr_t process_ = -1;  // a pid, or a process handle on Windows
  int exitCode_ = -1;
  bool waited_ = false;
};

RunResult RunConverter(const std::vector<std::string>& arguments,
                       std::uint64_t fileSizeLimit = StartedConverter::kNoLimit, const char* program = nullptr,
                       std::uint64_t processLimit = StartedConverter::kNoLimit);

void WriteM32(const fs::path& file, const RgbaImage& image);
// The texture with every header field but the levels' holding something: names, flags,
// scales and the bytes some tools use; `seed` varies them.
image_files::Bytes RichM32(const RgbaImage& image, std::uint8_t seed = 3);

// Every file and folder under `root` by its relative name, '/' between parts, sorted;
// links are listed, never followed. On Windows also past 260 characters.
std::vector<std::string> Everything(const std::string& root);

// Exit code 1 and one line on stderr, that begins with `start`.
void ExpectRefused(const RunResult& run, const std::string& start);

// The names in the folder that start with the converter's temporary prefix.
std::vector<std::string> TemporaryNames(const TempDir& folder);
// Waits, up to 20 seconds, for a temporary file of the converter's in the folder (which
// may not be there yet); whether one came.
bool TemporaryCame(const fs::path& folder);

// The same size and every pixel the same, else a failure naming the first that differs.
void ExpectSameImage(const RgbaImage& seen, const RgbaImage& want);

// The TGA byte for byte as the tests' writer makes it (bottom row first, with the footer).
// That writer is checked against the TGA reader, and the reader against hand-made files.
void ExpectTga(const fs::path& tga, const RgbaImage& image, bool alpha);
