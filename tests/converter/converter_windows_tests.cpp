// Converter tests that need Windows: names as Windows reads them, long paths and the
// program's resources.
#include <windows.h>

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
TEST(Converter, NamesAreReadAsWindowsReadsThem) {
  const std::string damaged = "%\\damaged caf\xc3\xa9.m32: too short for an m32 texture";
  const struct {
    const char* what;
    std::vector<std::string> arguments;
    int exitCode;
    std::vector<std::string> written;
    std::string said;  // the start of the message, if any
  } cases[] = {
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
  for (const auto& name : cases) {
    SCOPED_TRACE(name.what);
    const TempDir top;
    std::string folder = top.path();  // longer than MAX_PATH, which programs may pass
    while (folder.size() <= MAX_PATH) fs::create_directory(Utf8Path(folder += "\\" + std::string(60, 'd')));
    // The test's own file calls go through the C runtime, which knows only MAX_PATH.
    const auto in = [&](const std::string& file) { return Utf8Path("\\\\?\\" + folder + "\\" + file); };
    for (const char* texture : {"Brick Wall.m32", "rock.M32", "-x.m32", "hidden.m32", "a.m32x"})
      WriteM32(in(texture), image);
    WriteBytes(in("damaged caf\xc3\xa9.m32"), {'m', '3', '2'});
    fs::create_directory(in("folder.m32"));
    SetFileAttributesW(in("hidden.m32").c_str(), FILE_ATTRIBUTE_HIDDEN);
    const std::vector<std::string> before = Everything(folder);
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
    EXPECT_EQ(Everything(folder), after);
    for (const std::string& tga : name.written) ExpectTga(in(tga), image, false);
    MoveFileW(in("").c_str(), Utf8Path(top / "near").c_str());  // within the C runtime's reach, to be removed
  }
}

// In a tree every name the file system holds is reached, by its \\?\ form: names Windows
// keeps for devices, a folder of such a name, names whose dots and blanks at the end
// Windows would drop, whose outputs take the names a user knows. One file matched by two
// patterns converts once; a --like m32 is found whatever the case of its name.
TEST(Trees, NamesWindowsReservesOrTrimsConvertInATree) {
  const TempDir top;
  const auto at = [&](const std::string& name) { return Utf8Path("\\\\?\\" + top / name); };
  for (const char* folder : {"src/con", "like", "img"}) fs::create_directories(at(folder));
  const RgbaImage image = VariedImage(5, 3);
  for (const char* name :
       {"con.m32", "aux.m32", "nul.M32", "com1.m32", "lpt1.m32", "trail.m32.", "blank.m32 ", "con/in.m32"})
    WriteM32(at(std::string("src/") + name), image);
  const RunResult run = RunConverter({"-r", top / "src", "-o", top / "out"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "8 converted, 0 failed\n");
  const std::vector<std::string> outputs = {"aux.tga",    "blank.tga", "com1.tga", "con",      "con.tga",
                                            "con/in.tga", "lpt1.tga",  "nul.tga",  "trail.tga"};
  EXPECT_EQ(Everything(top / "out"), outputs);
  for (const std::string& output : outputs) {
    if (output != "con") ExpectTga(at("out/" + output), image, false);
  }
  const RunResult once = RunConverter({top / "src/?ux.m32", top / "src/AU*.M32"});
  EXPECT_EQ(once.exitCode, 0) << once.err;
  EXPECT_EQ(once.out, "");
  WriteM32(at("like/Brick.M32"), image);
  for (const char* tga : {"img/brick.tga", "img/other.tga"})
    EXPECT_EQ(RunConverter({"-o", top / tga, top / "like/Brick.M32"}).exitCode, 0);
  const RunResult like = RunConverter({"--like", top / "like", top / "img/brick.tga", top / "img/other.tga"});
  EXPECT_EQ(like.out, "2 converted (1 with default fields), 0 failed\n") << like.err;
  const std::vector<std::string> made = Everything(top.path());  // removed by their \\?\ names, deepest first
  for (auto name = made.rbegin(); name != made.rend(); ++name)
    DeleteFileW(at(*name).c_str()) || RemoveDirectoryW(at(*name).c_str());
}

// The folders of a run are held while their files are worked on, with the folders above
// them in the tree: no one can rename one, so none can be swapped for a link or another
// folder, while a conversion waits to commit.
TEST(Trees, AFolderOfARunCannotBeRenamedWhileItsFilesAreWorkedOn) {
  const TempDir top;
  const testing_support::ScopedEnv held("PELLICAR_TEST_COMMIT_WHEN", top / "go");
  fs::create_directories(Utf8Path(top / "src/sub"));
  WriteM32(Utf8Path(top / "src/sub/a.m32"), VariedImage(64, 64));
  StartedConverter converter({"-r", top / "src", "-o", top / "out"}, top / "o", top / "e");
  ASSERT_TRUE(TemporaryCame(Utf8Path(top / "out/sub"))) << "no conversion begun in out/sub";
  for (const char* folder : {"src/sub", "src", "out/sub", "out"}) {
    EXPECT_FALSE(MoveFileW(Utf8Path(top / folder).c_str(), Utf8Path(top / folder + ".moved").c_str())) << folder;
  }
  WriteBytes(Utf8Path(top / "go"), {});
  EXPECT_EQ(converter.Wait(), 0);
  ExpectTga(Utf8Path(top / "out/sub/a.tga"), VariedImage(64, 64), false);
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

}  // namespace
