// Converter tests that need what only POSIX systems have: a file size limit, symbolic
// links, special files, permission bits and signals.
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <system_error>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// Each name's kind, mode and file, and a regular file's bytes: what it takes to see that
// nothing in the folder changed.
std::map<std::string, std::string> LookAll(const TempDir& folder) {
  std::map<std::string, std::string> looks;
  for (const std::string& name : folder.names()) {
    struct stat status {};
    lstat((folder / name).c_str(), &status);
    const std::vector<std::uint8_t> bytes = S_ISREG(status.st_mode) ? ReadBytes(folder / name) : kEarlier;
    looks[name] = std::to_string(status.st_mode) + " " + std::to_string(status.st_ino) + " " +
                  std::to_string(std::hash<std::string>{}(std::string(bytes.begin(), bytes.end())));
  }
  return looks;
}

struct AtTheOutput {
  const char* what;
  std::function<bool(const fs::path&)> make;  // false where the system will not make it
  mode_t newMode;                             // 0 when the output is to be left as it was
  std::string said = {};                      // in the one line that says why
  std::uint64_t sizeLimit = StartedConverter::kNoLimit;
};

// The converter both ways and the thumbnailer write alike: a regular file is replaced
// and keeps its permission bits, but not set-user-ID, set-group-ID or sticky; a link is
// replaced, and what it points to is never touched; anything else at the name is refused
// and left as it was, and so is a file when the disk is full, with the system's reason.
TEST(Outputs, OnlyAFileOrALinkIsReplacedAndOnlyItsPermissionBitsStay) {
  const mode_t mask = umask(0);
  umask(mask);
  const auto file = [](mode_t mode) {
    return [=](const fs::path& name) {
      WriteBytes(name, kEarlier);
      return chmod(name.c_str(), mode) == 0;
    };
  };
  const auto node = [](mode_t type, dev_t device) {
    return [=](const fs::path& name) { return mknod(name.c_str(), type | 0666, device) == 0; };
  };
  const AtTheOutput cases[] = {
      {"a file with every mode bit", file(07754), 0754},
      {"a link to a set-user-ID file",
       [&](const fs::path& name) {
         return file(04755)(name.parent_path() / "target") && !symlink("target", name.c_str());
       },
       0666 & ~mask},
      {"a named pipe", node(S_IFIFO, 0), 0, "not a regular file"},
      {"a socket", node(S_IFSOCK, 0), 0, "not a regular file"},
      {"a device like /dev/null", node(S_IFCHR, makedev(1, 3)), 0, "not a regular file"},
      {"a folder", [](const fs::path& name) { return fs::create_directory(name); }, 0, "is a folder"},
      {"a file, and no room for 300 bytes", file(0644), 0, std::generic_category().message(EFBIG), 300},
  };
  const TempDir folder;
  const struct {
    const char* program;
    std::vector<std::string> arguments;
    std::string output;
  } writers[] = {
      {PELLICAR_EXE, {folder / "texture.m32"}, "texture.tga"},
      {PELLICAR_EXE, {folder / "picture.tga"}, "picture.m32"},
#ifdef PELLICAR_THUMBNAILER
      {PELLICAR_THUMBNAILER, {"-s", "128", folder / "texture.m32", folder / "texture.png"}, "texture.png"},
#endif
  };
  for (const auto& writer : writers) {
    for (const AtTheOutput& at : cases) {
      SCOPED_TRACE(std::string(writer.program) + " writing " + writer.output + " over " + at.what);
      for (const std::string& name : folder.names()) fs::remove_all(folder / name);
      WriteM32(folder / "texture.m32", VariedImage(128, 128));
      ASSERT_EQ(RunConverter({"--alpha", "-o", folder / "picture.tga", folder / "texture.m32"}).exitCode, 0);
      if (!at.make(folder / writer.output)) {
        ASSERT_EQ(errno, EPERM) << "only a device may need more privilege";
        continue;
      }
      std::map<std::string, std::string> before = LookAll(folder);
      const RunResult run = RunConverter(writer.arguments, at.sizeLimit, writer.program);
      std::map<std::string, std::string> after = LookAll(folder);
      if (at.newMode == 0) {
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find(at.said), std::string::npos) << run.err;
        EXPECT_EQ(after, before);
        continue;
      }
      EXPECT_EQ(run.exitCode, 0) << run.err;
      struct stat status {};
      EXPECT_EQ(lstat((folder / writer.output).c_str(), &status), 0);
      EXPECT_EQ(status.st_mode, S_IFREG | at.newMode);
      before.erase(writer.output);
      after.erase(writer.output);
      EXPECT_EQ(after, before) << "the inputs, a link's target, and nothing more";
    }
  }
}

constexpr std::uint32_t kBigWidth = 4096;
constexpr std::uint32_t kBigHeight = 2048;

// Stopped by a signal at random moments, with the new file unnamed or named until it is
// complete (then once that name is there): each time the folder holds the input and an
// output that is either the earlier one or the complete new one, and no temporary file.
TEST(Converter, AConverterKilledAtAnyMomentLeavesNothingBehind) {
  const TempDir folder;
  WriteM32(folder / "big.m32", VariedImage(kBigWidth, kBigHeight));
  const std::tuple<std::string, std::string, bool> kills[] = {
      {"big.m32", "big.tga", false}, {"big.tga", "big.m32", false}, {"big.tga", "big.m32", true}};
  std::mt19937 random(std::random_device{}());
  for (const auto& [input, output, named] : kills) {
    SCOPED_TRACE(input + (named ? ", named" : ""));
    std::optional<testing_support::ScopedEnv> namedTemporary;
    if (named) namedTemporary.emplace("PELLICAR_TEST_NAMED_TEMPORARY", "1");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunConverter({folder / input}).exitCode, 0);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    const std::uint64_t complete = fs::file_size(folder / output);
    std::uniform_int_distribution<long long> moment(0, whole.count());
    int killedMidway = 0;
    for (int run = 0; run < 18; ++run) {
      WriteBytes(folder / output, kEarlier);
      const TempDir streams;
      StartedConverter converter({folder / input}, streams / "out", streams / "err");
      const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (named && TemporaryNames(folder).empty() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
      std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
      converter.Signal(named ? std::array{SIGINT, SIGTERM, SIGHUP}[run % 3] : SIGTERM);
      if (converter.Wait() == -1) ++killedMidway;
      EXPECT_EQ(folder.names(), (std::vector<std::string>{"big.m32", "big.tga"})) << "no temporary file";
      if (fs::file_size(folder / output) != complete) {
        EXPECT_EQ(ReadBytes(folder / output), kEarlier);
      }
    }
    EXPECT_GT(killedMidway, 0) << "every conversion ended before its kill";
    ASSERT_EQ(RunConverter({folder / input}).exitCode, 0);  // whole again, for the next input
  }
}

// A failure nothing foresaw, thrown while the named temporary file is written: one
// line, the earlier output whole, nothing left behind, and the next file converts.
TEST(Converter, AFailureNothingForesawStillEndsAsOneLine) {
  const testing_support::ScopedEnv named("PELLICAR_TEST_NAMED_TEMPORARY", "1");
  const TempDir folder;
  WriteM32(folder / "big.m32", VariedImage(300, 200));
  WriteBytes(folder / "big.tga", kEarlier);
  WriteM32(folder / "small.m32", VariedImage(3, 2));
  const testing_support::ScopedEnv throwing("PELLICAR_TEST_THROW_WRITING", folder / "big.tga");
  const RunResult thrown = RunConverter({folder / "big.m32", folder / "small.m32"});
  EXPECT_EQ(thrown.exitCode, 1);
  EXPECT_EQ(thrown.err, folder / "big.m32: not enough memory\n");
  EXPECT_EQ(ReadBytes(folder / "big.tga"), kEarlier);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"big.m32", "big.tga", "small.m32", "small.tga"}));
}

}  // namespace
