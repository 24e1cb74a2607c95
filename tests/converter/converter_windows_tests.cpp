// Converter tests that need Windows: names as Windows reads them, long paths, the
// program's resources, files held open by another program, hidden files and
// TerminateProcess.
#include <windows.h>

#include <chrono>
#include <cwchar>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

fs::path ShortName(const fs::path& path) {
  std::wstring shorter(32768, L'\0');
  shorter.resize(GetShortPathNameW(path.c_str(), shorter.data(), static_cast<DWORD>(shorter.size())));
  return shorter;
}

// Names as a Windows user gives them: wildcards the program expands itself, short
// names, names Windows trims, streams and devices. In the arguments and the message
// expected, "%" stands for the folder and "8.3:NAME" for NAME's short form.
struct WindowsName {
  const char* what;
  std::vector<std::string> arguments;
  int exitCode;
  std::vector<std::string> written;
  std::string said;  // the start of the message, if any
};

TEST(Converter, NamesAreReadAsWindowsReadsThem) {
  const std::string damaged = "%\\damaged caf\xc3\xa9.m32: too short for an m32 texture";
  const WindowsName cases[] = {
      {"*: not folders, hidden or 8.3 names", {"%\\*.m32"}, 1, {"-x.tga", "Brick Wall.tga", "rock.tga"}, damaged},
      {"? and any case", {"%\\ROCK.M3?"}, 0, {"rock.tga"}, ""},
      {"no match", {"%\\*.none", "%\\rock.M32"}, 1, {"rock.tga"}, "%\\*.none: no file matches"},
      {"-o, 2 files", {"-o", "%\\a.tga", "%\\*x*"}, 2, {}, "Pellicar.exe: -o names the output of one"},
      {"short names", {"8.3:Brick Wall.m32", "8.3:damaged caf\xc3\xa9.m32"}, 1, {"Brick Wall.tga"}, damaged},
      {"trimmed", {"%\\rock.M32. ."}, 0, {"rock.tga"}, ""},
      {"input::$DATA", {"-o", "%\\rock.M32::$DATA", "%\\rock.M32"}, 2, {}, "Pellicar.exe: -o %\\rock.M32::$DATA is"},
      {"input:x", {"-o", "%\\rock.M32:x", "%\\rock.M32"}, 2, {}, "Pellicar.exe: -o %\\rock.M32:x is"},
      {"other:x", {"-o", "%\\-x.m32:x", "%\\rock.M32"}, 1, {}, "%\\rock.M32: %\\-x.m32:x names a"},
      {"-o NUL", {"-o", "NUL", "%\\rock.M32"}, 1, {}, "%\\rock.M32: NUL is a device"},
      {"-o COM1", {"-o", "COM1", "%\\rock.M32"}, 1, {}, "%\\rock.M32: COM1 is a device"},
      {"-o \\\\.\\", {"-o", "\\\\.\\CON", "%\\rock.M32"}, 1, {}, "%\\rock.M32: \\\\.\\CON is a device"},
  };
  const RgbaImage image = VariedImage(4, 2);
  for (const WindowsName& name : cases) {
    SCOPED_TRACE(name.what);
    const TempDir top;
    std::string folder = top.path();  // longer than MAX_PATH, which programs may pass
    while (folder.size() <= MAX_PATH) fs::create_directory(Utf8Path(folder += "\\" + std::string(60, 'd')));
    // The test's own file calls go through the C runtime, which knows only MAX_PATH.
    const auto in = [&](const std::string& file) { return Utf8Path("\\\\?\\" + folder + "\\" + file); };
    const auto names = [&] {
      std::vector<std::string> found;
      WIN32_FIND_DATAW entry{};
      const HANDLE find = FindFirstFileW(in("*").c_str(), &entry);
      for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &entry)) {
        if (std::wcscmp(entry.cFileName, L".") != 0 && std::wcscmp(entry.cFileName, L"..") != 0)
          found.push_back(Utf8Name(entry.cFileName));
      }
      FindClose(find);
      std::sort(found.begin(), found.end());
      return found;
    };
    for (const char* texture : {"Brick Wall.m32", "rock.M32", "-x.m32", "hidden.m32", "a.m32x"})
      WriteM32(in(texture), image);
    WriteBytes(in("damaged caf\xc3\xa9.m32"), {'m', '3', '2'});
    fs::create_directory(in("folder.m32"));
    SetFileAttributesW(in("hidden.m32").c_str(), FILE_ATTRIBUTE_HIDDEN);
    const std::vector<std::string> before = names();
    const auto placed = [&](std::string text) {
      if (text.starts_with("8.3:")) return Utf8Name(ShortName(Utf8Path(folder + "\\" + text.substr(4))));
      for (std::size_t at; (at = text.find('%')) != std::string::npos;) text.replace(at, 1, folder);
      return text;
    };
    std::vector<std::string> arguments;
    for (const std::string& argument : name.arguments) arguments.push_back(placed(argument));

    const RunResult run = RunConverter(arguments);
    EXPECT_EQ(run.exitCode, name.exitCode) << run.err;
    EXPECT_EQ(run.err.rfind(placed(name.said), 0), 0u) << run.err;
    std::vector<std::string> after = before;
    after.insert(after.end(), name.written.begin(), name.written.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(names(), after);
    for (const std::string& tga : name.written) ExpectTga(in(tga), image, false);
    MoveFileW(in("").c_str(), Utf8Path(top / "near").c_str());  // within the C runtime's reach, to be removed
  }
}

// Windows opens paths longer than MAX_PATH only for a program that declares it can.
TEST(Converter, TheProgramCarriesItsVersionAndDeclaresLongPaths) {
  const std::wstring program = (testing_support::OwnFolder() / L"Pellicar.exe").native();
  const HMODULE image = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(image, nullptr);
  const HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // the manifest
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(image, found))),
                             SizeofResource(image, found));
  FreeLibrary(image);
  EXPECT_NE(manifest.find(">true</longPathAware>"), std::string::npos) << manifest;

  DWORD ignored = 0;
  std::vector<char> record(GetFileVersionInfoSizeW(program.c_str(), &ignored));
  ASSERT_TRUE(GetFileVersionInfoW(program.c_str(), 0, static_cast<DWORD>(record.size()), record.data()));
  wchar_t* version = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(record.data(), L"\\StringFileInfo\\040904B0\\FileVersion",
                             reinterpret_cast<void**>(&version), &length));
  EXPECT_EQ(Utf8Name(std::wstring(version)), PELLICAR_VERSION);
}

TEST(Converter, ATgaHeldOpenByAnotherProgramIsNotReplacedAndTheReasonIsGiven) {
  const TempDir folder;
  WriteM32(folder / "rock.m32", VariedImage(6, 4));
  WriteBytes(folder / "rock.tga", kEarlier);
  const HANDLE held = CreateFileW(Utf8Path(folder / "rock.tga").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  const RunResult run = RunConverter({folder / "rock.m32"});
  CloseHandle(held);
  EXPECT_EQ(run.exitCode, 1);
  const std::string said = "cannot replace " + Utf8Name(Utf8Path(folder / "rock.tga")) + ": ";
  const std::size_t at = run.err.find(said);
  ASSERT_NE(at, std::string::npos) << run.err;
  EXPECT_GT(run.err.size(), at + said.size() + 5) << "no reason given: " << run.err;
  EXPECT_EQ(ReadBytes(folder / "rock.tga"), kEarlier);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"rock.m32", "rock.tga"}));
}

constexpr std::uint32_t kBigWidth = 4096;
constexpr std::uint32_t kBigHeight = 2048;

bool IsHidden(const fs::path& file) {
  const DWORD attributes = GetFileAttributesW(file.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN);
}

// The temporary file is seen while the conversion runs, then the converter is ended
// the hard way: first once the temporary file is there, then at random moments.
// The system deletes a killed conversion's temporary file when the last handle to it
// closes, which may come a moment after the process is reported ended (under Wine, in
// the wineserver). A file still there after that is one left behind.
void WaitForTemporariesToGo(const TempDir& folder) {
  const auto settled = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!TemporaryNames(folder).empty() && std::chrono::steady_clock::now() < settled)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TEST(Converter, TheTemporaryFileIsHiddenAndNoneRemainsAfterTerminateProcess) {
  const TempDir folder;
  WriteM32(folder / "big.m32", VariedImage(kBigWidth, kBigHeight));
  WriteBytes(folder / "big.tga", kEarlier);
  {
    const TempDir streams;
    StartedConverter converter({folder / "big.m32"}, streams / "out", streams / "err");
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (TemporaryNames(folder).empty() && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
    const std::vector<std::string> temporary = TemporaryNames(folder);
    ASSERT_EQ(temporary.size(), 1u) << "no temporary file seen";
    EXPECT_TRUE(IsHidden(Utf8Path(folder / temporary.front())));
    converter.Kill();
    EXPECT_EQ(converter.Wait(), -1) << "the conversion ended before it was killed";
    WaitForTemporariesToGo(folder);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"big.m32", "big.tga"}));
    EXPECT_EQ(ReadBytes(folder / "big.tga"), kEarlier);
  }
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> moment(0, 400);
  for (int run = 0; run < 6; ++run) {
    const TempDir streams;
    StartedConverter converter({folder / "big.m32"}, streams / "out", streams / "err");
    std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
    converter.Kill();
    converter.Wait();
    WaitForTemporariesToGo(folder);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"big.m32", "big.tga"}));
    const std::uintmax_t size = fs::file_size(folder / "big.tga");
    if (size != 18 + kBigWidth * kBigHeight * 3 + 26) {  // header, pixels, footer
      EXPECT_EQ(ReadBytes(folder / "big.tga"), kEarlier);
    }
  }
}

}  // namespace
