// The system layer on Linux: names kept byte for byte, the short form as one escaped
// word, links and special files in listings, the program search, processes stopped
// with all they started and never outliving what started them, the mount table and
// what becomes of a current directory that has been removed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "support/support.h"
#include "system/command_line.h"
#include "system/directory.h"
#include "system/drives.h"
#include "system/error.h"
#include "system/mount_table.h"
#include "system/native_string.h"
#include "system/process.h"
#include "system/program_search.h"
#include "system/shortpath.h"
#include "system_support.h"

using testing_support::TempDir;
using testing_support::WriteFile;
using Words = std::vector<std::string>;

namespace {

TEST(NativeString, EveryByteStringSurvivesTheRoundTrip) {
  std::mt19937 random(42);
  std::vector<std::string> samples = system_testing::AwkwardNames();
  for (int n = 0; n < 2000; ++n) {
    std::string bytes(random() % 12, '\0');
    for (char& b : bytes) b = static_cast<char>(random() % 256);
    samples.push_back(bytes);
  }
  for (const auto& bytes : samples) EXPECT_EQ(sys::ToNative(sys::FromNative(bytes)), bytes);
  EXPECT_EQ(sys::FromNative("\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80"), u"\u00e9t\u00e9 \U0001F600");  // valid text decodes
  EXPECT_EQ(sys::ForDisplay(sys::FromNative("caf\xe9")), u"caf\uFFFD");
}

TEST(ShortPath, IsAbsoluteAndFailsLoudlyWhenTheFileCannotBeReached) {
  TempDir dir;
  WriteFile(dir / "here.m32");
  {
    system_testing::ScopedCurrentDirectory inside(dir.path());
    EXPECT_EQ(sys::SplitCommandLine(sys::ShortPath("here.m32")), Words{dir / "here.m32"});
  }
  std::filesystem::create_symlink(dir / "loop-b.m32", dir / "loop-a.m32");
  std::filesystem::create_symlink(dir / "loop-a.m32", dir / "loop-b.m32");
  EXPECT_EQ(system_testing::ErrorOf([&] { sys::ShortPath(dir / "loop-a.m32"); }).code(),
            std::errc::too_many_symbolic_link_levels);
}

TEST(CommandLine, SplitsAtUnescapedBlanksOnly) {
  EXPECT_EQ(sys::SplitCommandLine("  a   b\tc  "), (Words{"a", "b", "c"}));
  EXPECT_EQ(sys::SplitCommandLine("a\\ b \"c d\" e\\\\"), (Words{"a b", "\"c", "d\"", "e\\"}));
  EXPECT_EQ(sys::SplitCommandLine("\\  x"), (Words{" ", "x"}));
  EXPECT_EQ(sys::SplitCommandLine("Pellicar.exe "), (Words{"Pellicar.exe"}));
}

TEST(Paths, ALeadingDoubleSlashIsKept) {
  EXPECT_EQ(sys::JoinPath("//host/share", "rock.m32"), "//host/share/rock.m32");
  EXPECT_EQ(sys::ParentDirectory("//host"), "/");
  EXPECT_EQ(sys::ParentDirectory("relative"), "relative");
}

TEST(Links, ListingsFollowThemAndLeaveOutWhatIsNeitherFileNorFolder) {
  TempDir dir;
  WriteFile(dir / "b.m32");
  std::filesystem::create_directory(dir / "folder");
  std::filesystem::create_symlink(dir / "b.m32", dir / "link.m32");
  std::filesystem::create_symlink(dir / "nothing", dir / "dangling.m32");
  std::filesystem::create_symlink(dir / "folder", dir / "dirlink.m32");
  mkfifo((dir / "pipe.m32").c_str(), 0644);

  EXPECT_EQ(sys::ListFiles(dir.path(), "*.m32"), (Words{"b.m32", "link.m32"}));
  EXPECT_EQ(sys::ListSubdirectories(dir.path()), (Words{"dirlink.m32", "folder"}));
}

TEST(ProgramSearch, TakesOnlyExecutableFilesAndNamesWithAFolderAsTheyAre) {
  TempDir dir;
  std::filesystem::copy_file(testing_support::OwnFolder() / "Pellicar.exe", dir / "runnable");
  WriteFile(dir / "not-executable");
  std::filesystem::create_directory(dir / "folder");
  testing_support::ScopedEnv searchPath("PATH", dir.path() + ":/usr/bin");

  for (const std::string& name : Words{"runnable", dir / "runnable"})
    EXPECT_EQ(sys::FindProgram(name), dir / "runnable");
  for (const std::string& name : Words{"not-executable", "folder", "no-such-program-anywhere", dir / "not-executable"})
    EXPECT_EQ(sys::FindProgram(name), "") << name;

  std::filesystem::permissions(dir / "not-executable", std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  sys::Process unrunnable = sys::StartProcess("not-executable");  // why exec failed comes back
  EXPECT_EQ(sys::CloseProcess(unrunnable).startError, std::errc::executable_format_error);
}

// Whether `done` comes true within about five seconds.
bool Soon(const std::function<bool()>& done) {
  for (int tries = 0; !done(); ++tries, std::this_thread::sleep_for(std::chrono::milliseconds(5)))
    if (tries == 1000) return false;
  return true;
}

// Gone, or dead and not yet reaped.
bool Ended(int processId) {
  std::ifstream status("/proc/" + std::to_string(processId) + "/stat");
  std::string line;
  std::getline(status, line);
  return line.empty() || line[line.rfind(") ") + 2] == 'Z';
}

// A stopped program is asked first, and so is what it started; what does not end when
// asked is ended outright once the grace has passed, and nothing of the group is left.
TEST(Process, StoppingEndsTheWholeGroupAskingFirst) {
  const struct {
    const char* script;  // its child writes its id to the file named by $1
    const char* ending;
    bool outlastsTheAsk;
  } cases[] = {
      {"sh -c 'trap \"\" TERM; echo $$ >\"$0\"; exec sleep 60' \"$1\" & wait", "SIGTERM", false},
      {"trap '' TERM; sh -c 'echo $$ >\"$0\"; exec sleep 60' \"$1\" & wait", "SIGKILL", true},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.script);
    TempDir dir;
    sys::Process process = sys::StartProcess("sh -c " + sys::EscapedAsOneWord(test.script) + " script " +
                                             sys::EscapedAsOneWord(dir / "child"));
    int child = 0;
    ASSERT_TRUE(Soon([&] { return static_cast<bool>(std::ifstream(dir / "child") >> child); }));
    const auto asked = std::chrono::steady_clock::now();
    sys::StopProcess(process);
    while (!sys::WaitForProcess(process, 10)) sys::StopProcess(process);
    EXPECT_EQ(std::chrono::steady_clock::now() - asked >= sys::kStopGrace, test.outlastsTheAsk);
    EXPECT_EQ(sys::CloseProcess(process).crash, test.ending);
    EXPECT_TRUE(Soon([&] { return Ended(child); }));
  }
}

// A program killed outright takes the converter it started with it.
TEST(Process, AConverterNeverOutlivesTheProgramThatStartedIt) {
  TempDir dir;
  testing_support::ScopedEnv logTo("PELLICAR_TEST_LOG", dir / "runs.log");
  WriteFile(dir / "hang.m32", "hang\n");
  const pid_t window = fork();
  if (window == 0) {
    sys::Process converter = sys::StartProcess("Pellicar.exe " + sys::ShortPath(dir / "hang.m32"));
    sys::WaitForProcess(converter, -1);
    _exit(0);
  }
  ASSERT_TRUE(Soon([&] { return !testing_support::ReadRuns(dir / "runs.log").empty(); }));
  kill(window, SIGKILL);
  waitpid(window, nullptr, 0);
  EXPECT_TRUE(Soon([&] { return Ended(testing_support::ReadRuns(dir / "runs.log")[0].processId); }))
      << "the converter outlived the program that started it";
}

// A directory lies on the deepest drive holding it; only that drive opens in the current
// directory, and once removed, the current directory lies on none.
TEST(Drives, ADriveOpensInTheCurrentDirectoryOnlyWhenThatLiesOnIt) {
  TempDir dir;
  std::filesystem::create_directory(dir / "here");
  system_testing::ScopedCurrentDirectory inside(dir / "here");
  const std::string here = dir / "here";
  const std::vector<sys::Drive> drives{{"/", "root"}, {here, "here"}, {here + "-elsewhere", "far"}, {dir.path(), ""}};
  EXPECT_EQ(sys::CurrentDirectoryOn(drives[1], drives), here);
  EXPECT_EQ(sys::CurrentDirectoryOn(drives[2], drives), here + "-elsewhere");
  EXPECT_EQ(sys::CurrentDirectoryOn(drives[0], drives), "/");
  EXPECT_EQ(sys::DriveOf(here + "x", drives), &drives[3]);  // beside "here", not inside it
  EXPECT_EQ(sys::DriveOf("relative", drives), nullptr);
  std::filesystem::remove(dir / "here");
  EXPECT_EQ(system_testing::ErrorOf([] { sys::CurrentDirectory(); }).code(), std::errc::no_such_file_or_directory);
  EXPECT_EQ(sys::CurrentDirectoryOn(drives[3], drives), dir.path());
  EXPECT_EQ(sys::Designation({"/media/usb", "STICK"}), "/media/usb [STICK]");
  EXPECT_EQ(sys::Designation({"/", "rootfs"}), "/ [rootfs]");
  EXPECT_EQ(sys::Drives().front().root, "/");  // even where "/" is not one of the person's mounts
}

TEST(Errors, MediaThatAreNotThereMeanADriveNotReady) {
  for (int code : {ENOMEDIUM, ESTALE})
    EXPECT_EQ(std::error_code(code, std::system_category()), sys::Condition::kDriveNotReady) << code;
  EXPECT_NE(std::error_code(ENOENT, std::system_category()), sys::Condition::kDriveNotReady);
  EXPECT_NE(std::error_code(ENOMEDIUM, std::iostream_category()), sys::Condition::kDriveNotReady);
}

TEST(MountTable, ReadsThePersonsDrivesWithTheirEscapedNamesAndKeepsMalformedEscapes) {
  const std::string table =
      "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
      "23 22 0:5 / /proc rw,nosuid - proc proc rw\n"
      "24 22 0:21 / /sys rw - sysfs sysfs rw\n"
      "25 22 0:6 / /dev rw - devtmpfs udev rw\n"
      "26 22 0:24 / /run rw - tmpfs tmpfs rw\n"
      "27 22 8:3 / /home rw shared:2 master:1 - ext4 /dev/sda3 rw\n"
      "28 26 8:17 / /run/media/anna/MY\\040STICK rw - vfat /dev/sdb1 rw\n"
      "29 26 0:40 / /run/user/1000 rw - tmpfs tmpfs rw\n"
      "30 22 0:41 / /mnt/game\\040textures rw - fuse.sshfs anna@host:/srv rw\n"
      "31 22 0:42 / /mnt/auto rw - autofs systemd-1 rw\n"
      "32 22 0:43 / /home rw - nfs4 server:/home rw\n"
      "33 22 0:44 / /mnt/broken rw no-separator-here\n"
      "34 22 0:45 / /media/cd\\134rom rw - iso9660 /dev/sr0 ro\n";
  const std::vector<sys::Mount> expected{{"/", "ext4", "/dev/sda2"},
                                         {"/home", "nfs4", "server:/home"},  // mounted over the disk
                                         {"/media/cd\\rom", "iso9660", "/dev/sr0"},
                                         {"/mnt/game textures", "fuse.sshfs", "anna@host:/srv"},
                                         {"/run/media/anna/MY STICK", "vfat", "/dev/sdb1"}};
  EXPECT_EQ(sys::PersonsMounts(table), expected);
  EXPECT_EQ(sys::PersonsMounts(""), std::vector<sys::Mount>{});
  // Escapes are read back; malformed ones are kept.
  EXPECT_EQ(sys::Unescaped("a\\040b\\011c"), "a b\tc");
  EXPECT_EQ(sys::Unescaped("MY\\x20STICK"), "MY STICK");
  EXPECT_EQ(sys::Unescaped("\\777 \\9 \\x \\"), "\\777 \\9 \\x \\");
}

}  // namespace
