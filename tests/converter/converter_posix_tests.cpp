// Converter tests that need what only POSIX systems have: a file size limit, symbolic
// links, special files and permission bits.
#include <dirent.h>
#include <fcntl.h>
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
  const auto link = [&](const char* target, std::function<bool(const fs::path&)> make = {}) {
    return [=](const fs::path& name) {
      return (!make || make(name.parent_path() / target)) && !symlink(target, name.c_str());
    };
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
      {"a link to a named pipe", link("pipe", node(S_IFIFO, 0)), 0, "not a regular file"},
      {"a link to standard output", link("/dev/stdout"), 0, "it leads to standard output"},
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

// A folder of the tree swapped for a link while a conversion in it waits to commit: the
// output lands in the folder it was begun in, wherever that has gone; a folder swapped
// before the run reached it gets its line; nothing is written where the links lead.
TEST(Trees, AFolderSwappedForALinkMidRunRedirectsNoWrite) {
  const testing_support::ScopedEnv named("PELLICAR_TEST_NAMED_TEMPORARY", "1");
  const TempDir folder;
  const testing_support::ScopedEnv held("PELLICAR_TEST_COMMIT_WHEN", folder / "go");
  for (const char* name : {"src/sub", "src/zz", "elsewhere"}) fs::create_directories(folder / name);
  WriteM32(folder / "src/sub/a.m32", VariedImage(64, 64));
  WriteM32(folder / "src/zz/b.m32", VariedImage(64, 64));
  for (const char* name : {"elsewhere/a.tga", "elsewhere/b.tga"}) WriteBytes(folder / name, kEarlier);
  StartedConverter converter({"-r", "-j", "1", folder / "src", "-o", folder / "out"}, folder / "o", folder / "e");
  ASSERT_TRUE(TemporaryCame(folder / "out/sub")) << "no conversion begun in out/sub";
  for (const char* name : {"src/sub", "out/sub", "src/zz"}) {
    fs::rename(folder / name, folder / name + ".moved");
    fs::create_directory_symlink(folder / "elsewhere", folder / name);
  }
  WriteBytes(folder / "go", {});
  EXPECT_EQ(converter.Wait(), 1);
  const image_files::Bytes said = ReadBytes(folder / "e");
  EXPECT_EQ(std::string(said.begin(), said.end()), folder / "src/zz/b.m32" + ": cannot open the folder " +
                                                       folder / "src/zz" + ": a link, which is not followed\n");
  ExpectTga(folder / "out/sub.moved/a.tga", VariedImage(64, 64), false);
  EXPECT_EQ(Everything(folder / "elsewhere"), (std::vector<std::string>{"a.tga", "b.tga"}));
  for (const char* name : {"elsewhere/a.tga", "elsewhere/b.tga"}) EXPECT_EQ(ReadBytes(folder / name), kEarlier);
}

// Removes what is in the folder, each entry by its name in it, at any depth.
void EmptyFolder(int folder) {
  DIR* const listed = fdopendir(dup(folder));
  while (const dirent* entry = readdir(listed)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const int inner = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (inner >= 0) {
      EmptyFolder(inner);
      close(inner);
    }
    unlinkat(folder, name.c_str(), inner >= 0 ? AT_REMOVEDIR : 0);
  }
  closedir(listed);
}

// A tree deeper than PATH_MAX: 26 folders of 200 characters, a texture at three depths.
TEST(Trees, DepthIsNotLimitedByTheLengthOfAPath) {
  const TempDir folder;
  const image_files::Bytes texture = image_files::EncodeM32(VariedImage(3, 2), "deep");
  const std::string name(200, 'd');
  std::vector<int> in{open(folder.path().c_str(), O_RDONLY | O_DIRECTORY)}, out;
  for (int depth = 0; depth < 26; ++depth) {
    mkdirat(in.back(), name.c_str(), 0777);
    in.push_back(openat(in.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
    const int file = depth % 10 == 5 ? openat(in.back(), "t.m32", O_WRONLY | O_CREAT, 0666) : -1;
    EXPECT_TRUE(file < 0 || write(file, texture.data(), texture.size()) == std::ssize(texture));
    if (file >= 0) close(file);
  }
  const RunResult run = RunConverter({"-r", folder / name, "-o", folder / "out"});
  EXPECT_EQ(run.out, "3 converted, 0 failed\n") << run.err;
  out.push_back(open((folder / "out").c_str(), O_RDONLY | O_DIRECTORY));
  for (int depth = 1; depth < 26 && out.back() >= 0; ++depth) {
    out.push_back(openat(out.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
    struct stat status {};
    EXPECT_EQ(fstatat(out.back(), "t.tga", &status, 0) == 0, depth % 10 == 5) << depth;
  }
  for (const int descriptor : {in.front(), out.front()}) EmptyFolder(descriptor);
  for (const int descriptor : in) close(descriptor);
  for (const int descriptor : out) close(descriptor);
}

// Under a limit of processes and threads, -j 8 runs with the threads that start, at
// least its own: every file still gets its line, in order, and the tally is true.
TEST(Trees, ThreadsThatCannotStartLoseNoReport) {
  // LeakSanitizer's check at exit starts a thread of its own, which the limit refuses.
  const testing_support::ScopedEnv noLeakCheck("ASAN_OPTIONS", "detect_leaks=0");
  const TempDir folder;
  fs::permissions(folder.path(), fs::perms::all);  // for the user whom the limit binds
  fs::create_directory(folder / "in");
  for (int i = 10; i < 22; ++i) WriteM32(folder / ("in/t" + std::to_string(i) + ".m32"), VariedImage(256, 64));
  for (const char* bad : {"in/t13.m32", "in/t17.m32"}) WriteBytes(folder / bad, {'b', 'a', 'd'});
  // A copy that user can run wherever the build lies (under /root, say, which only root enters).
  const fs::path program = folder / "Pellicar.exe";
  fs::copy_file(PELLICAR_EXE, program);
  for (const std::uint64_t processes : {1, 3}) {  // none can start; two
    SCOPED_TRACE(processes);
    fs::remove_all(folder / "out");
    const RunResult run = RunConverter({"-r", "-j", "8", folder / "in", "-o", folder / "out"},
                                       StartedConverter::kNoLimit, program.c_str(), processes);
    EXPECT_EQ(run.exitCode, 1);
    const std::string bad13 = folder / "in/t13.m32: ", bad17 = folder / "in/t17.m32: ";
    EXPECT_TRUE(run.err.starts_with(bad13) && run.err.find("\n" + bad17) != std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
    EXPECT_EQ(run.out, "10 converted, 2 failed\n");
    EXPECT_EQ(Everything(folder / "out").size(), 10u);
  }
}

}  // namespace
