// Converter tests that need Windows: short (8.3) names, files held open by another
// program, hidden files and TerminateProcess.
#include <windows.h>

#include <chrono>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "m32write.h"
#include "test_support.h"

namespace {

using m32write::RgbaImage;

fs::path ShortName(const fs::path& path) {
  std::wstring shorter(MAX_PATH, L'\0');
  shorter.resize(GetShortPathNameW(path.c_str(), shorter.data(), static_cast<DWORD>(shorter.size())));
  return shorter;
}

TEST(Converter, AFileGivenByItsShortNameGetsATgaNamedAfterItsLongName) {
  const TempDir folder;
  const RgbaImage image = VariedImage(37, 23);
  WriteM32(Utf8Path(folder / "Brick Wall.m32"), image);
  const fs::path shortName = ShortName(Utf8Path(folder / "Brick Wall.m32"));
  ASSERT_NE(shortName.filename(), L"Brick Wall.m32") << "the file has no short name";

  const RunResult run = RunConverter({Utf8Name(shortName)});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"Brick Wall.m32", "Brick Wall.tga"}));
  ExpectTga(Utf8Path(folder / "Brick Wall.tga"), image, false);
}

TEST(Converter, ATgaHeldOpenByAnotherProgramIsNotReplacedAndTheReasonIsGiven) {
  const TempDir folder;
  WriteM32(folder / "rock.m32", VariedImage(6, 4));
  const std::vector<std::uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  WriteBytes(folder / "rock.tga", earlier);
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
  EXPECT_EQ(ReadBytes(folder / "rock.tga"), earlier);
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
TEST(Converter, TheTemporaryFileIsHiddenAndNoneRemainsAfterTerminateProcess) {
  const TempDir folder;
  WriteLargeM32(folder / "big.m32", kBigWidth, kBigHeight);
  const std::vector<std::uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  WriteBytes(folder / "big.tga", earlier);
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
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"big.m32", "big.tga"}));
    EXPECT_EQ(ReadBytes(folder / "big.tga"), earlier);
  }
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> moment(0, 400);
  for (int run = 0; run < 6; ++run) {
    const TempDir streams;
    StartedConverter converter({folder / "big.m32"}, streams / "out", streams / "err");
    std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
    converter.Kill();
    converter.Wait();
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"big.m32", "big.tga"}));
    const std::uintmax_t size = fs::file_size(folder / "big.tga");
    if (size != TgaBytes(kBigWidth, kBigHeight)) {
      EXPECT_EQ(ReadBytes(folder / "big.tga"), earlier);
    }
  }
}

}  // namespace
