// The system layer: names kept byte for byte, the short form standing as one word,
// directory listings, the program search and drives.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "support/support.h"
#include "system/directory.h"
#include "system/drives.h"
#include "system/native_string.h"
#include "system/process.h"
#include "system/shortpath.h"

using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const std::vector<std::string> kAwkwardNames = {"rock wall.m32",
                                                "it's \"quoted\".m32",
                                                "a;b.m32",
                                                "$(touch pwned).m32",
                                                "-rf.m32",
                                                "line\nbreak.m32",
                                                "tab\there.m32",
                                                "back\\slash.m32",
                                                "caf\xe9 latin1.m32",
                                                "\xff\xfe.m32",
                                                "\xed\xb2\x80 surrogate.m32",
                                                "ok \xc3\xa9t\xc3\xa9.m32",
                                                "  two  blanks  .m32"};

TEST(NativeString, EveryByteStringSurvivesTheRoundTrip) {
  std::mt19937 random(42);
  std::vector<std::string> samples(kAwkwardNames);
  for (int n = 0; n < 2000; ++n) {
    std::string bytes(random() % 12, '\0');
    for (char& b : bytes) b = static_cast<char>(random() % 256);
    samples.push_back(bytes);
  }
  for (const auto& bytes : samples) EXPECT_EQ(sys::ToNative(sys::FromNative(bytes)), bytes);
  EXPECT_EQ(sys::FromNative("\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80"), u"\u00e9t\u00e9 \U0001F600");  // valid text decodes
}

TEST(ShortPath, StandsAsExactlyOneWordNamingTheSameFile) {
  TempDir dir;
  for (const auto& name : kAwkwardNames) {
    const auto path = dir / name;
    WriteFile(path);
    const auto words = sys::SplitCommandLine("Pellicar.exe " + sys::ShortPath(path));
    ASSERT_EQ(words.size(), 2u) << name;
    EXPECT_EQ(words[0], "Pellicar.exe");
    EXPECT_EQ(words[1], path) << name;
  }
}

TEST(ShortPath, IsAbsoluteAndEmptyForAMissingFile) {
  TempDir dir;
  WriteFile(dir / "here.m32");
  EXPECT_EQ(sys::ShortPath(dir / "gone.m32"), "");
  EXPECT_EQ(sys::ShortPath(""), "");

  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const auto shortForm = sys::ShortPath("here.m32");
  std::filesystem::current_path(before);
  EXPECT_EQ(sys::SplitCommandLine(shortForm), std::vector<std::string>{dir / "here.m32"});
}

TEST(CommandLine, SplitsAtUnescapedBlanksOnly) {
  using Words = std::vector<std::string>;
  EXPECT_EQ(sys::SplitCommandLine("  a   b\tc  "), (Words{"a", "b", "c"}));
  EXPECT_EQ(sys::SplitCommandLine("a\\ b \"c d\" e\\\\"), (Words{"a b", "\"c", "d\"", "e\\"}));
  EXPECT_EQ(sys::SplitCommandLine("\\  x"), (Words{" ", "x"}));
  EXPECT_EQ(sys::SplitCommandLine("Pellicar.exe "), (Words{"Pellicar.exe"}));
}

TEST(Paths, JoinAddsOneSeparatorAndKeepsLeadingDoubles) {
  EXPECT_EQ(sys::JoinPath("/", "rock.m32"), "/rock.m32");
  EXPECT_EQ(sys::JoinPath("/game textures", "rock.m32"), "/game textures/rock.m32");
  EXPECT_EQ(sys::JoinPath("//host/share", "rock.m32"), "//host/share/rock.m32");
  EXPECT_EQ(sys::ParentDirectory("/a/b"), "/a");
  EXPECT_EQ(sys::ParentDirectory("/a"), "/");
  EXPECT_EQ(sys::ParentDirectory("/"), "/");
}

TEST(ListFiles, MatchesWithoutCaseHidesHiddenAndNonRegularAndSortsByName) {
  TempDir dir;
  for (const char* name : {"b.m32", "A.M32", "c.M32", "notes.txt", ".hidden.m32", "x.m32.bak"}) WriteFile(dir / name);
  std::filesystem::create_directory(dir / "folder.m32");
  mkfifo((dir / "pipe.m32").c_str(), 0644);
  std::filesystem::create_symlink(dir / "b.m32", dir / "link.m32");
  std::filesystem::create_symlink(dir / "nothing", dir / "dangling.m32");
  std::filesystem::create_symlink(dir / "folder.m32", dir / "dirlink.m32");

  EXPECT_EQ(sys::ListFiles(dir.path(), "*.m32"), (std::vector<std::string>{"A.M32", "b.m32", "c.M32", "link.m32"}));
  EXPECT_EQ(sys::ListSubdirectories(dir.path()), (std::vector<std::string>{"dirlink.m32", "folder.m32"}));
  EXPECT_THROW(sys::ListFiles(dir / "missing", "*.m32"), std::system_error);
}

TEST(ListFiles, NameOrderFoldsCaseAndBreaksTiesByBytes) {
  std::vector<std::string> names{"b", "B", "a", "_", "Ab", "aB", "a0"};
  std::sort(names.begin(), names.end(), sys::NameLess);
  EXPECT_EQ(names, (std::vector<std::string>{"_", "a", "a0", "Ab", "aB", "B", "b"}));
}

TEST(ProgramSearch, OwnFolderFirstThenCurrentDirectoryThenPath) {
  TempDir dir;
  const auto own = std::filesystem::read_symlink("/proc/self/exe").parent_path().native();
  std::filesystem::copy_file(own + "/Pellicar.exe", dir / "Pellicar.exe");
  std::filesystem::copy_file(own + "/Pellicar.exe", dir / "only-on-path");
  testing_support::ScopedEnv path("PATH", dir.path() + ":/usr/bin");

  EXPECT_EQ(sys::FindProgram("Pellicar.exe"), own + "/Pellicar.exe");
  EXPECT_EQ(sys::FindProgram("only-on-path"), dir / "only-on-path");
  EXPECT_EQ(sys::FindProgram("no-such-program-anywhere"), "");
  WriteFile(dir / "not-executable");
  EXPECT_EQ(sys::FindProgram("not-executable"), "");
}

TEST(Drives, ADirectoryBelongsToTheDeepestDriveHoldingIt) {
  const std::vector<sys::Drive> drives{{"/", "root"}, {"/media/usb", "STICK"}, {"/media/usb2", "OTHER"}};
  EXPECT_EQ(sys::DriveOf("/media/usb/textures", drives)->label, "STICK");
  EXPECT_EQ(sys::DriveOf("/media/usb2", drives)->label, "OTHER");
  EXPECT_EQ(sys::DriveOf("/media/usb-stick", drives)->label, "root");
  EXPECT_EQ(sys::DriveOf("relative", drives), nullptr);
  EXPECT_EQ(sys::Designation(drives[1]), "/media/usb [STICK]");
}

TEST(Drives, ADriveOpensInTheCurrentDirectoryOnlyWhenThatLiesOnIt) {
  const auto here = sys::CurrentDirectory();
  const std::vector<sys::Drive> drives{{"/", "root"}, {here, "here"}, {here + "-elsewhere", "far"}};
  EXPECT_EQ(sys::CurrentDirectoryOn(drives[1], drives), here);
  EXPECT_EQ(sys::CurrentDirectoryOn(drives[2], drives), here + "-elsewhere");
  EXPECT_EQ(sys::CurrentDirectoryOn(drives[0], drives), "/");
}

TEST(Drives, TheMountedOnesIncludeTheRootAndNoKernelFileSystems) {
  const auto drives = sys::Drives();
  ASSERT_FALSE(drives.empty());
  EXPECT_EQ(drives.front().root, "/");
  for (const auto& drive : drives) {
    for (const char* inside : {"/proc", "/sys", "/dev"}) EXPECT_FALSE(drive.root.starts_with(inside)) << drive.root;
  }
}

}  // namespace
