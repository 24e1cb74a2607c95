#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <random>
#include <set>
#include <string_view>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include "converter/convert.h"
#include "system/files.h"
#include "system/number_text.h"
#include "test_support.h"

namespace {

using namespace image_files;

TEST(Converter, EveryPixelArrivesAsWrittenAndTheRightWayUp) {
  const std::pair<std::uint32_t, std::uint32_t> sizes[] = {{1, 1},     {3, 5},     {17, 1},   {16, 16},
                                                           {4096, 16}, {4099, 33}, {65535, 3}};
  for (const auto& [width, height] : sizes) {
    for (const bool alpha : {false, true}) {
      SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + (alpha ? " --alpha" : ""));
      const TempDir folder;
      const RgbaImage image = VariedImage(width, height);
      WriteM32(folder / "t.m32", image);
      const RunResult run = alpha ? RunConverter({"--alpha", folder / "t.m32"}) : RunConverter({folder / "t.m32"});
      ASSERT_EQ(run.exitCode, 0) << run.err;
      EXPECT_EQ(run.err, "");
      ExpectTga(folder / "t.tga", image, alpha);
    }
  }
}

Bytes Patched(std::initializer_list<std::pair<std::size_t, std::uint32_t>> patches, std::size_t length = SIZE_MAX) {
  Bytes bytes = EncodeM32(VariedImage(8, 4), "ok");
  for (const auto& [at, value] : patches) PutU32(bytes, at, value);
  bytes.resize(std::min(length, bytes.size()));
  return bytes;
}

// Every fault of an m32 the converter refuses (the previews share its header check and get
// one damaged file each), once with no TGA there and once with an earlier one to keep.
TEST(Converter, RefusesMalformedInputAndLeavesTheEarlierTgaWhole) {
  const std::size_t level0End = kHeaderBytes + 8 * 4 * 4;  // 1,096 for the 8 x 4 texture
  Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  png.resize(4000);
  const struct {
    const char* what;
    std::optional<Bytes> bytes;  // none: a directory
    std::string said;            // words the message must hold
  } cases[] = {
      {"shorter than the header", Patched({}, kHeaderBytes - 1), "967 bytes"},
      {"wrong version", Patched({{kVersionAt, 5}}), "version 5"},
      {"zero width", Patched({{kWidthsAt, 0}}), "0 x 4"},
      {"side past 65,535", Patched({{kWidthsAt, 65536}}), "65,536 x 4"},
      {"offset past the end", Patched({{kOffsetsAt, 1 << 20}}), "starts at byte 1,048,576"},
      {"pixels cut short", Patched({}, level0End - 1), "truncated: pixel data ends at byte 1,095 of 1,096"},
      // 32,768 x 32,768 x 4 is 2^32: a 32-bit sum would wrap to 968 and fit.
      {"byte count past 32 bits", Patched({{kWidthsAt, 32768}, {kHeightsAt, 32768}}), "of 4,294,968,264"},
      {"empty file", Bytes{}, "empty"},
      {"directory", std::nullopt, "directory"},
      {"renamed PNG", png, "not an m32"},
  };
  std::set<std::string> reasons;
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.what);
    const TempDir folder;
    const std::string input = folder / "rock.m32";
    bad.bytes ? WriteBytes(input, *bad.bytes) : static_cast<void>(fs::create_directory(input));
    for (const bool tgaThere : {false, true}) {
      if (tgaThere) WriteBytes(folder / "rock.tga", kEarlier);
      const RunResult run = RunConverter({input});
      ExpectRefused(run, input + ": ");
      EXPECT_NE(run.err.find(bad.said), std::string::npos) << run.err;
      reasons.insert(run.err.substr(input.size()));
      EXPECT_EQ(folder.names(),
                tgaThere ? (std::vector<std::string>{"rock.m32", "rock.tga"}) : std::vector<std::string>{"rock.m32"});
    }
    EXPECT_EQ(ReadBytes(folder / "rock.tga"), kEarlier);
  }
  EXPECT_EQ(reasons.size(), std::size(cases)) << "each fault has its own message";
}

// Cuts the input file the first time output arrives, that is after the encoder has
// read and converted the bottom rows, and counts what it was given.
struct CuttingSink final : formats::ByteSink {
  CuttingSink(fs::path file, std::uintmax_t length) : input(std::move(file)), cut(length) {}
  bool Write(std::span<const std::uint8_t> bytes) override {
    if (written == 0) fs::resize_file(input, cut);
    written += bytes.size();
    return true;
  }
  fs::path input;
  std::uintmax_t cut;
  std::size_t written = 0;
};

// The file is cut after it was opened and its size taken, as when another program
// truncates it while we convert: before the conversion inside the header or inside
// level 0's pixels, when the earlier TGA stays; and in mid-conversion, which stops the
// encoder.
TEST(Converter, AFileShortenedWhileConvertedGivesAnErrorAndLeavesTheEarlierTgaWhole) {
  const std::uint32_t width = 2048;  // rows of 8 KiB, read in four blocks of 32 rows
  const std::uint32_t height = 128;
  const TempDir folder;
  WriteM32(folder / "rock.m32", VariedImage(width, height));
  const Bytes whole = ReadBytes(folder / "rock.m32");
  const auto shortened = [&](std::uintmax_t end) {
    return "changed while being read: ends at byte " + sys::WithSeparators(end) + " of " +
           sys::WithSeparators(whole.size());
  };
  for (const std::uintmax_t cut : {std::uintmax_t{500}, kHeaderBytes + 1000}) {
    SCOPED_TRACE("cut to " + std::to_string(cut) + " bytes");
    WriteBytes(folder / "rock.m32", whole);
    WriteBytes(folder / "rock.tga", kEarlier);
    sys::InputFile input(folder / "rock.m32");
    ASSERT_EQ(input.Error(), "");
    fs::resize_file(folder / "rock.m32", cut);
    EXPECT_EQ(converter::ConvertTexture(input, converter::Format::kM32, converter::DestinationAt(folder / "rock.tga"),
                                        converter::Format::kTga, {}),
              shortened(cut));
    EXPECT_EQ(ReadBytes(folder / "rock.tga"), kEarlier);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"rock.m32", "rock.tga"}));
  }

  WriteBytes(folder / "rock.m32", whole);
  const std::uintmax_t insideTopRows = kHeaderBytes + 5 * width * 4 + 100;
  sys::InputFile input(folder / "rock.m32");
  formats::SourceOf<sys::InputFile> source(input);
  const formats::HeaderResult header = formats::ReadM32Header(source);
  ASSERT_TRUE(header.Ok()) << header.error;
  formats::Level0Rows rows(source, header.level0);
  CuttingSink sink(folder / "rock.m32", insideTopRows);
  EXPECT_FALSE(formats::WriteTga({width, height}, rows, formats::TgaDepth::kBgr24, sink));
  EXPECT_GT(sink.written, 0u) << "the cut came before any output";
  EXPECT_LT(sink.written, std::size_t{width} * height * 3) << "rows past the cut went out";
  EXPECT_EQ(input.Error(), shortened(insideTopRows));
}

#ifdef _WIN32
// The size of the folder's one temporary file; 0 when there is none.
std::uint64_t TemporaryBytes(const TempDir& folder) {
  const std::vector<std::string> temporary = TemporaryNames(folder);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (temporary.size() != 1 ||
      !GetFileAttributesExW(Utf8Path(folder / temporary.front()).c_str(), GetFileExInfoStandard, &data))
    return 0;
  return std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
}
#endif

// Ended at random moments, on POSIX by a signal it may catch, with the new file unnamed
// or named until it is complete; on Windows the hard way, by TerminateProcess, and its
// temporary file hidden meanwhile. Each time the folder holds the input and an output
// that is either the earlier one or the complete new one, and no temporary file.
TEST(Converter, AConverterKilledAtAnyMomentLeavesNothingBehind) {
  const TempDir folder;
  WriteM32(folder / "big.m32", VariedImage(4096, 2048));
  // On Windows only the first, killed early: under Wine a TGA to m32 conversion killed
  // at any moment left its temporary file behind once in some forty runs, not yet mended.
  const std::tuple<std::string, std::string, bool> kills[] = {
      {"big.m32", "big.tga", false},
#ifndef _WIN32
      {"big.tga", "big.m32", false},
      {"big.tga", "big.m32", true},
#endif
  };
  std::mt19937 random(std::random_device{}());
  for (const auto& [input, output, named] : kills) {
    SCOPED_TRACE(input + (named ? ", named" : ""));
    std::optional<testing_support::ScopedEnv> namedTemporary;
    if (named) namedTemporary.emplace("PELLICAR_TEST_NAMED_TEMPORARY", "1");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunConverter({folder / input}).exitCode, 0);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    const std::uint64_t complete = fs::file_size(folder / output);
#ifdef _WIN32
    std::uniform_int_distribution<long long> moment(0, 400'000);
#else
    std::uniform_int_distribution<long long> moment(0, whole.count());
#endif
    int killedMidway = 0;
    for (int run = 0; run < 18; ++run) {
      WriteBytes(folder / output, kEarlier);
      const TempDir streams;
      StartedConverter converter({folder / input}, streams / "out", streams / "err");
      const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
#ifdef _WIN32
      const bool look = named || run == 0;  // the temporary file always has a name here
#else
      const bool look = named;
#endif
      // On a loaded machine the whole conversion may run before a look: that run is passed.
      const auto done = [&] {
        std::error_code error;
        return fs::file_size(Utf8Path(folder / output), error) != kEarlier.size();
      };
      while (look && TemporaryNames(folder).empty() && !done() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
#ifdef _WIN32
      // Its first bytes come once it is marked to go with the process: a kill in the moment
      // between its making and that mark would leave it (see ReplacingFile).
      while (look && TemporaryBytes(folder) == 0 && !done() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
#endif
      if (look && TemporaryNames(folder).empty() && done()) {
        converter.Wait();
        continue;
      }
      if (look) {
        const std::vector<std::string> temporary = TemporaryNames(folder);
        ASSERT_EQ(temporary.size(), 1u) << "no temporary file seen";
#ifdef _WIN32
        const DWORD attributes = GetFileAttributesW(Utf8Path(folder / temporary.front()).c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN));
#endif
      }
      std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
#ifdef _WIN32
      converter.Kill();
#else
      converter.Signal(named ? std::array{SIGINT, SIGTERM, SIGHUP}[run % 3] : SIGTERM);
#endif
      if (converter.Wait() == -1) ++killedMidway;
      // The system deletes a killed conversion's temporary file when the last handle to
      // it closes, which under Wine may come a moment after the process ended.
      const auto settled = std::chrono::steady_clock::now() + std::chrono::seconds(2);
      while (!TemporaryNames(folder).empty() && std::chrono::steady_clock::now() < settled)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      EXPECT_EQ(folder.names(), (std::vector<std::string>{"big.m32", "big.tga"})) << "no temporary file";
      EXPECT_TRUE(fs::file_size(folder / output) == complete || ReadBytes(folder / output) == kEarlier);
    }
    EXPECT_GT(killedMidway, 0) << "every conversion ended before its kill";
    ASSERT_EQ(RunConverter({folder / input}).exitCode, 0);  // whole again, for the next input
  }
}

TEST(Converter, OutputLandsBesideTheInputWhateverItsName) {
  const std::pair<std::string, std::string> names[] = {
      {"blanks and 'single' quotes; $(echo) & %PATH%.m32", "blanks and 'single' quotes; $(echo) & %PATH%.tga"},
      {"über ☃ 🧱.m32", "über ☃ 🧱.tga"},
      {"-x.m32", "-x.tga"},
      {"texture", "texture.tga"},
      {"capitals.M32", "capitals.tga"},
      {"photo.jpg", "photo.jpg.tga"},
#ifndef _WIN32  // names Windows does not allow
      {"\"double\" quotes.m32", "\"double\" quotes.tga"},
      {"not utf-8 \xff\xfe\xc3(.m32", "not utf-8 \xff\xfe\xc3(.tga"},
      {"line\nbreak.m32", "line\nbreak.tga"},
#endif
  };
  for (const auto& [input, output] : names) {
    SCOPED_TRACE(input);
    const TempDir folder;
    const RgbaImage image = VariedImage(4, 2);
    WriteM32(Utf8Path(folder / input), image);
    const RunResult run = RunConverter({"--", folder / input});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(folder.names(), (std::vector<std::string>{input, output}));
    ExpectTga(Utf8Path(folder / output), image, false);
  }
}

// Mistakes in the options, and an output that is the input by any name or link, or a
// folder: each exits with 2 and a message, and writes nothing.
TEST(Converter, CommandLineMistakesExitWithTwoAndWriteNothing) {
  const TempDir folder;
  WriteM32(folder / "a.m32", VariedImage(3, 3));
  const Bytes texture = ReadBytes(folder / "a.m32");
  WriteBytes(folder / "a.tga", kEarlier);  // each the output of the other
  fs::create_directory(Utf8Path(folder / "sub"));
  fs::create_hard_link(Utf8Path(folder / "a.m32"), Utf8Path(folder / "linked.tga"));
  const std::string a = folder / "a.m32", b = folder / "a.tga", named = folder / "named.tga";
  const std::string itself = "is the input file itself";
  std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
      {{}, ""},
      {{"--alpha"}, ""},
      {{"--frobnicate", a}, ""},
      {{"-o", named, a, b}, ""},
      {{a, "-o"}, ""},
      {{"-o", named, "-o", named, a}, ""},
      {{a, b}, ""},
      {{b, a}, ""},
      {{"--like", a, a}, ""},
      {{b, "--like"}, ""},
      {{"--like", "x.m32", "--like", "y.m32", b}, ""},
      {{"-o", a, a}, itself},
      {{"-o", folder / "sub/../a.m32", a}, itself},
      {{"-o", folder / "linked.tga", a}, itself},
      {{"-o", "", a}, "empty"},
      {{"-o", folder / "sub", a}, "is a folder"},
      {{"-o", folder / "sub/", a}, "is a folder"},
      {{"-o", folder / "new/", a}, "is a folder"},
      {{"-r", folder.path(), "-o", a}, "it is a file"},
      {{"-r", folder.path(), "-o", "-"}, "-r writes a tree"},
      {{"-o", "-", b}, "an m32 is written out of order"},
  };
#ifndef _WIN32  // symbolic links, to the input and to its folder
  fs::create_symlink("../a.m32", folder / "sub/link.tga");
  fs::create_directory_symlink("..", folder / "sub/up");
  mistakes.push_back({{"-o", folder / "sub/link.tga", a}, itself});
  mistakes.push_back({{"-o", folder / "sub/up/a.m32", a}, itself});
#endif
  for (const auto& [arguments, said] : mistakes) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    const RunResult run = RunConverter(arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err, "");
    EXPECT_NE(run.err.find(said), std::string::npos) << run.err;
  }
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"a.m32", "a.tga", "linked.tga", "sub"}));
  EXPECT_EQ(ReadBytes(a), texture);
  EXPECT_EQ(ReadBytes(b), kEarlier);

  const RunResult version = RunConverter({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "Pellicar.exe " PELLICAR_VERSION "\n");
  EXPECT_EQ(RunConverter({"--help"}).exitCode, 0);
#ifndef _WIN32  // into a device that is always full
  for (const std::vector<std::string>& printing : {std::vector<std::string>{"--help"}, {"--version"}, {"-n", a}})
    EXPECT_EQ(StartedConverter(printing, "/dev/full", "/dev/null").Wait(), 1) << printing.front();
  // An image is never poured onto a terminal (a pseudo-terminal stands for one here).
  if (const int terminal = posix_openpt(O_RDWR | O_NOCTTY); terminal >= 0 && grantpt(terminal) == 0) {
    unlockpt(terminal);
    EXPECT_EQ(StartedConverter({"-o", "-", a}, ptsname(terminal), folder / "said").Wait(), 2);
    const Bytes said = ReadBytes(folder / "said");
    EXPECT_NE(std::string(said.begin(), said.end()).find("standard output is a terminal"), std::string::npos);
    fs::remove(folder / "said");
    close(terminal);
  }
#endif

  EXPECT_EQ(RunConverter({"-o", named, a}).exitCode, 0);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"a.m32", "a.tga", "linked.tga", "named.tga", "sub"}));
  const RunResult piped = RunConverter({"-o", "-", a});  // standard output is a file here
  EXPECT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_TRUE(Bytes(piped.out.begin(), piped.out.end()) == ReadBytes(named));
}

// The system's reason closes the message: "... beside X: No such file or directory";
// "cannot write" where no file of that name was there to replace; a read-only TGA is
// never replaced, though its folder would let a rename do it.
TEST(Converter, AnOutputThatCannotBeWrittenIsRefusedWithTheReason) {
  const TempDir folder;
  WriteM32(folder / "a.m32", VariedImage(3, 3));
  WriteBytes(folder / "a.tga", kEarlier);
  const fs::perms writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(Utf8Path(folder / "a.tga"), writable, fs::perm_options::remove);
  std::vector<std::pair<std::string, std::string>> targets = {{"no/such/dir.tga", "cannot create a file beside "},
                                                              {"a.tga", "not replacing "}};
#ifdef _WIN32  // a TGA another program holds open
  WriteBytes(folder / "held.tga", kEarlier);
  const HANDLE held = CreateFileW(Utf8Path(folder / "held.tga").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  targets.emplace_back("held.tga", "cannot replace ");
#else
  targets.emplace_back("a.m32/dir.tga", "cannot create a file beside ");
#endif
  const std::vector<std::string> before = folder.names();
  for (const auto& [name, said] : targets) {
    const std::string target = folder / name;
    const RunResult run = RunConverter({"-o", target, folder / "a.m32"});
    ExpectRefused(run, folder / "a.m32: ");
    const std::size_t at = run.err.find(said + Utf8Name(Utf8Path(target)) + ": ");
    ASSERT_NE(at, std::string::npos) << run.err;
    EXPECT_GT(run.err.size(), at + said.size() + target.size() + 7) << "no reason given: " << run.err;
    for (const std::string& earlier : before)
      EXPECT_TRUE(!earlier.ends_with(".tga") || ReadBytes(folder / earlier) == kEarlier) << earlier;
    EXPECT_EQ(folder.names(), before);
  }
#ifdef _WIN32
  CloseHandle(held);
#endif
  fs::permissions(Utf8Path(folder / "a.tga"), fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace
