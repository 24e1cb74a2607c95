// Converter tests that need what only POSIX systems have: a file size limit, symbolic
// links, permission bits and signals.
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "m32write.h"
#include "test_support.h"

namespace {

using m32write::RgbaImage;

TEST(Converter, AFailedWriteLeavesTheEarlierTgaWholeAndNoTemporaryFile) {
  const TempDir folder;
  WriteM32(folder / "rock.m32", VariedImage(512, 512));
  const std::vector<std::uint8_t> earlier(2000, 'e');
  WriteBytes(folder / "rock.tga", earlier);
  const std::uint64_t limit = 100000;  // well short of the 768 KiB the TGA needs
  const RunResult run = RunConverter({folder / "rock.m32"}, limit);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
  EXPECT_EQ(ReadBytes(folder / "rock.tga"), earlier);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"rock.m32", "rock.tga"}));
}

TEST(Converter, AnOutputThatIsTheInputThroughASymbolicLinkIsACommandLineMistake) {
  const TempDir folder;
  WriteM32(folder / "rock.m32", VariedImage(6, 4));
  const std::vector<std::uint8_t> texture = ReadBytes(folder / "rock.m32");
  fs::create_symlink("rock.m32", folder / "link.tga");
  fs::create_directory_symlink(folder.path(), folder / "here");
  for (const std::string& output : {folder / "link.tga", folder / "here/rock.m32"}) {
    SCOPED_TRACE(output);
    const RunResult run = RunConverter({"-o", output, folder / "rock.m32"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("is the input file itself"), std::string::npos) << run.err;
    EXPECT_EQ(ReadBytes(folder / "rock.m32"), texture);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"here", "link.tga", "rock.m32"}));
  }
}

mode_t ModeOf(const fs::path& file) {
  struct stat status {};
  stat(file.c_str(), &status);
  return status.st_mode & 07777;
}

TEST(Converter, AReplacedTgaKeepsItsPermissionsAndANewOneFollowsTheUmask) {
  const TempDir folder;
  WriteM32(folder / "rock.m32", VariedImage(6, 4));
  const mode_t mask = umask(0);
  umask(mask);
  ASSERT_EQ(RunConverter({folder / "rock.m32"}).exitCode, 0);
  EXPECT_EQ(ModeOf(folder / "rock.tga"), 0666 & ~mask);

  for (const mode_t mode : {0600, 0640, 0604, 0660}) {
    SCOPED_TRACE(mode);
    chmod((folder / "rock.tga").c_str(), mode);
    ASSERT_EQ(RunConverter({folder / "rock.m32"}).exitCode, 0);
    EXPECT_EQ(ModeOf(folder / "rock.tga"), mode);
    ExpectTga(folder / "rock.tga", VariedImage(6, 4), false);
  }
}

// After any kill the folder holds the texture and a TGA that is either the earlier one
// or the complete new one: no part, no temporary file.
void ExpectNothingLeftBehind(const TempDir& folder, const std::vector<std::uint8_t>& earlier, std::uint64_t complete) {
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"big.m32", "big.tga"}));
  const std::uintmax_t size = fs::file_size(folder / "big.tga");
  if (size != complete) {
    EXPECT_EQ(ReadBytes(folder / "big.tga"), earlier);
  }
}

constexpr std::uint32_t kBigWidth = 4096;
constexpr std::uint32_t kBigHeight = 2048;

TEST(Converter, AConverterKilledAtAnyMomentLeavesNothingBehind) {
  const TempDir folder;
  WriteLargeM32(folder / "big.m32", kBigWidth, kBigHeight);
  const std::vector<std::uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(RunConverter({folder / "big.m32"}).exitCode, 0);
  const auto whole = std::chrono::steady_clock::now() - start;

  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<long long> moment(0,
                                                  std::chrono::duration_cast<std::chrono::microseconds>(whole).count());
  int killedMidway = 0;
  for (int run = 0; run < 16; ++run) {
    WriteBytes(folder / "big.tga", earlier);
    const TempDir streams;
    StartedConverter converter({folder / "big.m32"}, streams / "out", streams / "err");
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    converter.Kill();
    if (converter.Wait() == -1) ++killedMidway;
    ExpectNothingLeftBehind(folder, earlier, TgaBytes(kBigWidth, kBigHeight));
  }
  EXPECT_GT(killedMidway, 0) << "every conversion ended before its kill";
}

// Where the file system cannot hold a file without a name, the temporary file has one;
// an interruption removes it.
TEST(Converter, ANamedTemporaryFileIsRemovedWhenTheConverterIsInterrupted) {
  const testing_support::ScopedEnv named("PELLICAR_NAMED_TEMPORARY", "1");
  const TempDir folder;
  WriteLargeM32(folder / "big.m32", kBigWidth, kBigHeight);
  const std::vector<std::uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    WriteBytes(folder / "big.tga", earlier);
    const TempDir streams;
    StartedConverter converter({folder / "big.m32"}, streams / "out", streams / "err");
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (TemporaryNames(folder).empty() && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::yield();
    }
    ASSERT_EQ(TemporaryNames(folder).size(), 1u) << "no temporary file seen";
    converter.Signal(signal);
    EXPECT_EQ(converter.Wait(), -1) << "the conversion ended before the signal";
    ExpectNothingLeftBehind(folder, earlier, TgaBytes(kBigWidth, kBigHeight));
  }
  ASSERT_EQ(RunConverter({folder / "big.m32"}).exitCode, 0);
  ExpectNothingLeftBehind(folder, earlier, TgaBytes(kBigWidth, kBigHeight));
  EXPECT_EQ(fs::file_size(folder / "big.tga"), TgaBytes(kBigWidth, kBigHeight));
}

}  // namespace
