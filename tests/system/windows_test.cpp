// The system layer on Windows: drive letters and their designations, names outside the
// ANSI code page, and the 8.3 form.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "support/support.h"
#include "system/command_line.h"
#include "system/directory.h"
#include "system/drives.h"
#include "system/error.h"
#include "system/process.h"
#include "system/shortpath.h"
#include "system_support.h"

using sys::NativeString;
using system_testing::MakeFile;
using system_testing::Native;
using system_testing::RunToTheEnd;
using system_testing::SameFile;
using testing_support::TempDir;

namespace {

// Cyrillic, CJK and a character beyond the BMP: no ANSI code page holds all of them.
const NativeString kWideName = L"\u0442\u0435\u043a\u0441\u0442\u0443\u0440\u0430 \u65e5\u672c \U0001F600.m32";

// Lettered roots named by letter and label, holding their paths in either case, and not
// ready without a medium.
TEST(Drives, AreLetteredRootsNamedByLetterAndLabelHoldingTheirPathsInEitherCase) {
  const auto drives = sys::Drives();
  ASSERT_FALSE(drives.empty());
  for (const auto& drive : drives) {
    ASSERT_EQ(drive.root.size(), 3u);
    EXPECT_TRUE(drive.root[0] >= L'A' && drive.root[0] <= L'Z');
    EXPECT_EQ(drive.root.substr(1), L":\\");
  }
  EXPECT_EQ(sys::Designation({L"C:\\", L"System"}), L"C: [System]");
  EXPECT_EQ(sys::Designation({L"A:\\", L""}), L"A:");
  EXPECT_EQ(std::error_code(ERROR_NOT_READY, std::system_category()), sys::Condition::kDriveNotReady);
  EXPECT_NE(std::error_code(ERROR_FILE_NOT_FOUND, std::system_category()), sys::Condition::kDriveNotReady);

  const std::vector<sys::Drive> letters{{L"C:\\", L"System"}, {L"D:\\", L"Data"}};
  EXPECT_EQ(sys::DriveOf(L"c:\\games\\sof", letters), &letters[0]);
  EXPECT_EQ(sys::DriveOf(L"D:\\", letters), &letters[1]);
  EXPECT_EQ(sys::DriveOf(L"E:\\x", letters), nullptr);
  EXPECT_EQ(sys::DriveOf(L"\\\\server\\share\\x", letters), nullptr);
}

// The drive of the current directory opens in it: the contract's test.
TEST(Drives, EachDriveKeepsItsOwnCurrentDirectory) {
  const auto drives = sys::Drives();
  wchar_t kept[MAX_PATH];
  for (const auto& drive : drives) {
    ASSERT_NE(GetFullPathNameW(drive.root.substr(0, 2).c_str(), MAX_PATH, kept, nullptr), 0u);
    EXPECT_EQ(sys::CurrentDirectoryOn(drive, drives), sys::WithoutTrailingSeparators(kept));
  }
}

TEST(Paths, DriveAndNetworkRootsEndTheClimb) {
  EXPECT_EQ(sys::ParentDirectory(L"C:\\games"), L"C:\\");
  EXPECT_EQ(sys::ParentDirectory(L"C:/games/sof"), L"C:/games");
  EXPECT_EQ(sys::ParentDirectory(L"\\\\server\\share\\textures"), L"\\\\server\\share\\");
  EXPECT_EQ(sys::ParentDirectory(L"\\\\server\\share\\"), L"\\\\server\\share\\");
  EXPECT_EQ(sys::RootLength(L"C:"), 2u);
  EXPECT_EQ(sys::JoinPath(L"C:\\", L"x.m32"), L"C:\\x.m32");
  EXPECT_EQ(sys::LastName(L"C:\\games\\"), L"games");
}

// The short form has no blanks where the volume keeps 8.3 names, and is absolute.
TEST(ShortPath, AndListingsTakeWideNamesUnharmedAndNameThemInErrors) {
  TempDir dir;
  const NativeString folder = Native(dir.path());
  const NativeString file = sys::JoinPath(folder, kWideName), blanks = sys::JoinPath(folder, L"rock wall long.m32");
  MakeFile(file);
  MakeFile(blanks);
  EXPECT_EQ(sys::ListFiles(folder, L"*.m32"), (std::vector<NativeString>{L"rock wall long.m32", kWideName}));
  for (const auto& path : {file, blanks}) {
    const NativeString shortForm = sys::ShortPath(path);
    EXPECT_EQ(shortForm.find(L' '), NativeString::npos) << sys::ToUtf8(sys::FromNative(shortForm));
    EXPECT_TRUE(SameFile(shortForm, path)) << sys::ToUtf8(sys::FromNative(shortForm));
  }
  {
    system_testing::ScopedCurrentDirectory inside(folder);
    EXPECT_TRUE(SameFile(sys::ShortPath(L"rock wall long.m32"), blanks));
    EXPECT_EQ(sys::RootLength(sys::ShortPath(L"rock wall long.m32")), 3u);
  }
  const auto missing = system_testing::ErrorOf([&] { sys::ListFiles(sys::JoinPath(folder, kWideName + L" x"), L"*"); });
  EXPECT_NE(std::string(missing.what()).find(sys::ToUtf8(sys::FromNative(kWideName))), std::string::npos)
      << missing.what();
}

// Where a volume keeps no 8.3 names the short form is the long path quoted: the quoting
// must bring even awkward long paths to the converter as they are.
TEST(CommandLine, AQuotedLongPathReachesTheConverterAsOneArgument) {
  TempDir dir, log;
  testing_support::ScopedEnv logTo("PELLICAR_TEST_LOG", log / "runs.log");
  const NativeString folder = sys::JoinPath(Native(dir.path()), L"Game Textures\\");
  const std::vector<NativeString> arguments{
      L"C:\\Game Textures\\rock wall.m32", folder, L"say \"hi\" \\\"there\\", L"tab\there", L"", kWideName};
  for (const auto& argument : arguments)
    EXPECT_TRUE(RunToTheEnd(L"Pellicar.exe " + sys::QuotedAsOneArgument(argument)).succeeded());
  const auto runs = testing_support::ReadRuns(log / "runs.log");
  ASSERT_EQ(runs.size(), arguments.size());
  for (std::size_t i = 0; i < arguments.size(); ++i)
    EXPECT_EQ(runs[i].arguments, std::vector<std::string>{sys::ToUtf8(sys::FromNative(arguments[i]))});
}

// The window waits for the converter in WaitForProcess; a message for it must end the
// wait at once, so that the window handles it, also one already seen but left in the
// queue. Without a message this wait would never end: the converter hangs until it is
// stopped.
TEST(Process, AWindowMessageEndsTheWaitAtOnceAndStoppingEndsTheProcess) {
  TempDir dir;
  testing_support::WriteFile(dir / "hang.m32", "hang\n");
  sys::Process process = sys::StartProcess(L"Pellicar.exe " + sys::ShortPath(Native(dir / "hang.m32")));
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // this thread gets a message queue
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0));
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  EXPECT_FALSE(sys::WaitForProcess(process, -1));
  EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE));  // left for the window to handle
  sys::StopProcess(process);
  EXPECT_TRUE(sys::WaitForProcess(process, 5000));
  const auto stopped = sys::CloseProcess(process);
  EXPECT_EQ(stopped.ending, sys::ProcessResult::Ending::Crashed);
  EXPECT_EQ(stopped.crash, "stopped");
}

// The converter inherits its standard handles and none other: an inheritable event of
// this process is out of its reach.
TEST(Process, InheritsOnlyItsStandardHandles) {
  TempDir dir;
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const HANDLE event = CreateEventW(&inheritable, TRUE, TRUE, nullptr);
  testing_support::WriteFile(dir / "reset.m32", "reset " + std::to_string(reinterpret_cast<std::uintptr_t>(event)));
  EXPECT_TRUE(RunToTheEnd(L"Pellicar.exe " + sys::ShortPath(Native(dir / "reset.m32"))).succeeded());
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << "the converter reset an event it should not have";
  CloseHandle(event);
}

}  // namespace
