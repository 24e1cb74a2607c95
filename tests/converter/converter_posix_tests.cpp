// Converter tests that need what only POSIX systems have: a file size limit, symbolic
// links, special files and permission bits.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <system_error>

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
  const struct {
    const char* what;
    std::function<bool(const fs::path&)> make;  // false where the system will not make it
    mode_t newMode;                             // 0 when the output is to be left as it was
    std::string said = {};                      // in the one line that says why
    std::uint64_t sizeLimit = StartedConverter::kNoLimit;
  } cases[] = {
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
    for (const auto& at : cases) {
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
        ExpectRefused(run, "");
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
