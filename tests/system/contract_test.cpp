// The contract of the system layer, stated once and run on every backend: natively on
// Linux, and under Wine for Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

#include "support/support.h"
#include "system/directory.h"
#include "system/drives.h"
#include "system/error.h"
#include "system/shortpath.h"
#include "system_support.h"

using sys::NativeString;
using system_testing::MakeFile;
using system_testing::Native;
using system_testing::RunToTheEnd;
using system_testing::SameFile;
using testing_support::ReadRuns;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using Ending = sys::ProcessResult::Ending;

namespace {

using Names = std::vector<NativeString>;

Names NativeNames(std::initializer_list<const char*> utf8) {
  Names names;
  for (const char* name : utf8) names.push_back(Native(name));
  return names;
}

TEST(Paths, JoinAndParentsClimbToTheRootAndStayThere) {
  const NativeString root = sys::Drives().front().root;  // "/" or "C:\"
  const NativeString separator(1, sys::kSeparator);
  const NativeString a = sys::JoinPath(root, Native("game textures"));
  const NativeString b = sys::JoinPath(a, Native("rock.m32"));
  EXPECT_EQ(a, root + Native("game textures"));  // a root already ends in its separator
  EXPECT_EQ(b, a + separator + Native("rock.m32"));
  EXPECT_EQ(sys::JoinPath(a + separator, Native("rock.m32")), b);

  EXPECT_EQ(sys::ParentDirectory(b), a);
  EXPECT_EQ(sys::ParentDirectory(a), root);
  EXPECT_EQ(sys::ParentDirectory(root), root);
  EXPECT_EQ(sys::ParentDirectory(b + separator), a);

  EXPECT_EQ(sys::WithoutTrailingSeparators(a + separator + separator), a);
  EXPECT_EQ(sys::WithoutTrailingSeparators(root), root);
  EXPECT_EQ(sys::LastName(b), Native("rock.m32"));
  EXPECT_EQ(sys::LastName(root), root);
  EXPECT_EQ(sys::RootLength(b), root.size());
  EXPECT_EQ(sys::RootLength(Native("relative")), 0u);
}

TEST(Names, OrderFoldsCaseAndBreaksTiesByCharacterValue) {
  Names names = NativeNames({"b", "B", "a", "_", "Ab", "aB", "a0", "a.m32", "A.M32"});
  std::sort(names.begin(), names.end(), sys::NameLess);
  EXPECT_EQ(names, NativeNames({"_", "a", "A.M32", "a.m32", "a0", "Ab", "aB", "B", "b"}));
}

TEST(Names, PatternsMatchWithoutCaseAndTakeNoLookAlikes) {
  const auto matches = [](const char* name, const char* pattern) {
    return sys::MatchesPattern(Native(name), Native(pattern));
  };
  for (const char* name : {"a.m32", "A.M32", "rock wall.m32", ".m32", "x.y.M32"}) EXPECT_TRUE(matches(name, "*.m32"));
  for (const char* name : {"a.m32x", "a.m3", "am32", "a.m32.bak", "a.tga"})
    EXPECT_FALSE(matches(name, "*.m32")) << name;
  EXPECT_TRUE(matches("ab", "a?"));
  EXPECT_FALSE(matches("a", "a?"));
  EXPECT_TRUE(matches("", "*"));
  EXPECT_TRUE(matches("abcbcd", "a*bc*d"));
  EXPECT_FALSE(matches("abcbce", "a*bc*d"));
  // Backtracking stays cheap on a long name that almost matches.
  EXPECT_FALSE(sys::MatchesPattern(NativeString(100000, 'a'), Native("*a*a*a*a*b")));
}

TEST(Listing, ShowsMatchingFilesAndFoldersWithoutHiddenOnesOrLookAlikesAndNamesAMissingOne) {
  const TempDir dir;
  const NativeString directory = Native(dir.path());
  const auto at = [&](const char* name) { return sys::JoinPath(directory, Native(name)); };
  for (const char* name : {"b.m32", "A.M32", "c.M32", "rock wall.m32", "notes.txt", "x.m32.bak", "a.m32x",
                           "texture.m32x", "LONGNAME.M32X", "abcdefghijk.m32x"})
    MakeFile(at(name));
  for (const char* name : {"folder.m32", "sub"}) std::filesystem::create_directory(at(name));
#ifdef _WIN32  // entries a person does not work with, each made as this platform hides it
  for (const char* name : {"hidden.m32", "system.m32", "hidden folder", "system folder"}) {
    std::string(name).ends_with("folder") ? (void)std::filesystem::create_directory(at(name)) : MakeFile(at(name));
    SetFileAttributesW(at(name).c_str(), name[0] == 'h' ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_SYSTEM);
  }
#else
  MakeFile(at(".hidden.m32"));
  std::filesystem::create_directory(at(".hidden folder"));
#endif
  EXPECT_EQ(sys::ListFiles(directory, Native("*.m32")), NativeNames({"A.M32", "b.m32", "c.M32", "rock wall.m32"}));
  EXPECT_EQ(sys::ListSubdirectories(directory), NativeNames({"folder.m32", "sub"}));
  EXPECT_EQ(sys::ListFiles(at("sub"), Native("*.m32")), Names{});

  const auto missing = system_testing::ErrorOf([&] { sys::ListFiles(at("missing"), Native("*.m32")); });
  EXPECT_EQ(missing.code(), std::errc::no_such_file_or_directory) << missing.what();
  EXPECT_NE(std::string(missing.what()).find("missing"), std::string::npos) << missing.what();
  EXPECT_THROW(sys::ListSubdirectories(at("b.m32")), std::system_error);  // a file is no folder
}

TEST(CurrentDirectory, IsTheProcesssAndLiesOnADriveThatOpensInIt) {
  TempDir dir;
  system_testing::ScopedCurrentDirectory here(Native(dir.path()));
  const NativeString current = sys::CurrentDirectory();
  EXPECT_TRUE(SameFile(current, Native(dir.path())));

  const auto drives = sys::Drives();
  ASSERT_FALSE(drives.empty());
  EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end(),
                             [](const sys::Drive& a, const sys::Drive& b) { return a.root < b.root; }));
  const sys::Drive* drive = sys::DriveOf(current, drives);
  ASSERT_NE(drive, nullptr);
  EXPECT_EQ(sys::CurrentDirectoryOn(*drive, drives), current);
  for (const auto& other : drives) {
    const NativeString opened = sys::CurrentDirectoryOn(other, drives);
    EXPECT_EQ(sys::DriveOf(opened, drives), &other) << sys::ToUtf8(sys::FromNative(opened));
  }
}

#ifdef _WIN32
constexpr const char* kCrashName = "access violation";
#else
constexpr const char* kCrashName = "SIGSEGV";
#endif

// Runs the fake converter on a file holding `instructions`.
sys::ProcessResult RunConverterTold(const TempDir& dir, const std::string& instructions) {
  testing_support::WriteFile(dir / "told.m32", instructions);
  return RunToTheEnd(Native("Pellicar.exe ") + sys::ShortPath(Native(dir / "told.m32")));
}

TEST(ShortPath, StartsTheConverterWithOneArgumentNamingTheSameFile) {
  TempDir dir, log;
  ScopedEnv logTo("PELLICAR_TEST_LOG", log / "runs.log");
  std::vector<NativeString> paths;
  for (const auto& name : system_testing::AwkwardNames())
    paths.push_back(sys::JoinPath(Native(dir.path()), Native(name)));
  for (const auto& path : paths) MakeFile(path);
  paths.push_back(sys::JoinPath(Native(dir.path()), Native("a folder")));  // any existing path
  std::filesystem::create_directory(paths.back());

  for (const auto& path : paths) EXPECT_TRUE(RunToTheEnd(Native("Pellicar.exe ") + sys::ShortPath(path)).succeeded());
  const auto runs = ReadRuns(log / "runs.log");
  ASSERT_EQ(runs.size(), paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string shown = sys::ToUtf8(sys::FromNative(paths[i]));
    ASSERT_EQ(runs[i].arguments.size(), 1u) << shown;
    EXPECT_TRUE(SameFile(Native(runs[i].arguments[0]), paths[i])) << shown;
#ifndef _WIN32
    EXPECT_EQ(runs[i].arguments[0], paths[i]);  // no short names: byte for byte
#endif
  }
  // What is not there has no short form.
  for (const char* gone : {"gone.m32", "no folder/gone.m32"})
    EXPECT_EQ(sys::ShortPath(sys::JoinPath(Native(dir.path()), Native(gone))), NativeString());
  EXPECT_EQ(sys::ShortPath(NativeString()), NativeString());
}

TEST(Process, TellsHowItEndedAndTheStartOfWhatItWroteToStderr) {
  TempDir dir;
  const auto clean = RunConverterTold(dir, "");
  EXPECT_TRUE(clean.succeeded());
  EXPECT_EQ(clean.errorOutput, "");

  const auto failed = RunConverterTold(dir, "say first line\nsay second\nexit 4\n");
  EXPECT_EQ(failed.ending, Ending::Exited);
  EXPECT_EQ(failed.exitCode, 4);
  EXPECT_EQ(failed.errorOutput, "first line\nsecond\n");
  EXPECT_FALSE(failed.succeeded());

  const auto crashed = RunConverterTold(dir, "say going down\ncrash\n");
  EXPECT_EQ(crashed.ending, Ending::Crashed);
  EXPECT_EQ(crashed.crash, kCrashName);
  EXPECT_EQ(crashed.errorOutput, "going down\n");

  const auto notStarted = RunToTheEnd(Native("no-such-program-anywhere x"));
  EXPECT_EQ(notStarted.ending, Ending::NotStarted);
  EXPECT_EQ(notStarted.startError, std::errc::no_such_file_or_directory) << notStarted.startError.message();

  // The start of a flood on stderr is kept, and the flood never blocks the process.
  const auto flooded = RunConverterTold(dir, "say it begins\nspew 5000000\nexit 1\n");
  EXPECT_EQ(flooded.exitCode, 1);
  ASSERT_EQ(flooded.errorOutput.size(), sys::kKeptErrorOutput);
  EXPECT_TRUE(flooded.errorOutput.starts_with("it begins\nxxxx"));
}

// The test's own folder holds the fake converter as Pellicar.exe; the current directory
// and a folder on PATH hold copies of it under other names, and one of the same name.
// PATH also names the current directory as shells read an empty or relative entry (and,
// on Windows, as the current directory of its drive, "C:"): a program planted among
// textures must stay unrun.
TEST(ProgramSearch, OwnFolderFirstThenPathNeverTheCurrentDirectory) {
  TempDir here, onPath, log;
  const auto converter = testing_support::OwnFolder() / "Pellicar.exe";
  for (const char* name : {"Pellicar.exe", "probe-both.exe", "probe-here.exe"})
    std::filesystem::copy_file(converter, Native(here / name));
  for (const char* name : {"probe-both.exe", "probe-path.exe"})
    std::filesystem::copy_file(converter, Native(onPath / name));
  const bool windows = sys::kSeparator == '\\';
  const std::string separator = windows ? ";" : ":", relative = windows ? here.path().substr(0, 2) : ".";
  const char* oldPath = std::getenv("PATH");
  ScopedEnv searchPath("PATH", separator + "." + separator + relative + separator + onPath.path() + separator +
                                   (oldPath ? oldPath : ""));
  ScopedEnv logTo("PELLICAR_TEST_LOG", log / "runs.log");
  system_testing::ScopedCurrentDirectory inside(Native(here.path()));

  for (const char* program : {"Pellicar.exe", "probe-both.exe", "probe-path.exe", "probe-here.exe"}) {
    const bool found = std::string_view(program) != "probe-here.exe";
    EXPECT_EQ(RunToTheEnd(Native(program)).ending, found ? Ending::Exited : Ending::NotStarted) << program;
  }
  const auto runs = ReadRuns(log / "runs.log");
  ASSERT_EQ(runs.size(), 3u);
  const std::filesystem::path ran[] = {converter, Native(onPath / "probe-both.exe"), Native(onPath / "probe-path.exe")};
  for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(SameFile(Native(runs[i].executable), ran[i])) << runs[i].executable;
  for (const auto& run : runs) EXPECT_TRUE(SameFile(Native(run.workingDirectory), Native(here.path())));
}

}  // namespace
