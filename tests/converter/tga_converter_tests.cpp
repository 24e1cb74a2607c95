// Pellicar.exe turning TGA files into m32 textures, run as a user runs it.
#include <algorithm>
#include <bit>
#include <set>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using namespace image_files;

// A texture whose every header field holds something, as a game's textures do.
Bytes RichM32(const RgbaImage& image) {
  Bytes m32 = EncodeM32(image, "textures/rock/granite");
  const std::pair<std::size_t, std::string_view> names[] = {{132, "textures/rock/granite_alt"},
                                                            {260, "textures/rock/granite2"},
                                                            {388, "textures/rock/granite_dmg"},
                                                            {732, "textures/detail/grain"}};
  for (const auto& [at, name] : names)
    std::copy(name.begin(), name.end(), m32.begin() + static_cast<std::ptrdiff_t>(at));
  std::uint32_t value = 0x01020304;
  for (std::size_t at = 708; at < kHeaderBytes; at += 4) {
    if (at < 732 || at >= 860) PutU32(m32, at, value += 0x11111111);
  }
  PutU32(m32, 720, std::bit_cast<std::uint32_t>(0.5f));
  return m32;
}

TEST(TgaToM32, ARoundTripGivesBackLevel0AndEveryHeaderField) {
  for (const bool alpha : {true, false}) {
    SCOPED_TRACE(alpha ? "through a 32-bit TGA" : "through a 24-bit TGA");
    const TempDir folder;
    const RgbaImage image = VariedImage(37, 21);
    const Bytes original = RichM32(image);
    WriteBytes(folder / "rock.m32", original);
    std::vector<std::string> toTga{folder / "rock.m32"};
    if (alpha) toTga.insert(toTga.begin(), "--alpha");
    ASSERT_EQ(RunConverter(toTga).exitCode, 0);

    const RunResult back =
        RunConverter({"--like", folder / "rock.m32", "-o", folder / "rock.m32", folder / "rock.tga"});
    ASSERT_EQ(back.exitCode, 0) << back.err;
    EXPECT_EQ(back.err, "");
    RgbaImage seen = image;
    for (std::size_t i = 3; !alpha && i < seen.rgba.size(); i += 4) seen.rgba[i] = 255;
    Bytes want = EncodeM32(seen, "");
    std::copy_n(original.begin(), kHeaderBytes, want.begin());
    EXPECT_EQ(ReadBytes(folder / "rock.m32"), want) << "the header as it was, the pixels, every level";
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"rock.m32", "rock.tga"}));
  }
}

TEST(TgaToM32, BothWaysInOneRunAndTheRestStillConvertWhenOneFails) {
  const TempDir folder;
  const RgbaImage a = FewColourImage(5, 4);
  const RgbaImage b = VariedImage(3, 7);
  WriteBytes(folder / "a.tga", MakeTga(a, TgaFormat{}));
  WriteM32(folder / "b.m32", b);
  WriteBytes(folder / "c.tga", {0, 0, 2, 0, 0});
  TgaFormat packets;
  packets.type = 10;
  WriteBytes(folder / "d Wall.Tga", MakeTga(a, packets));
  const RunResult run = RunConverter({folder / "a.tga", folder / "b.m32", folder / "c.tga", folder / "d Wall.Tga"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.rfind(folder / "c.tga: ", 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_EQ(folder.names(),
            (std::vector<std::string>{"a.m32", "a.tga", "b.m32", "b.tga", "c.tga", "d Wall.Tga", "d Wall.m32"}));
  EXPECT_EQ(ReadBytes(folder / "a.m32"), EncodeM32(a, "a"));
  EXPECT_EQ(ReadBytes(folder / "d Wall.m32"), EncodeM32(a, "d Wall")) << "named after its file";
  ExpectTga(folder / "b.tga", b, false);
}

void ExpectRefusedTga(const TempDir& folder, const Bytes& tga, std::set<std::string>& reasons) {
  WriteBytes(folder / "rock.tga", tga);
  WriteBytes(folder / "rock.m32", kEarlier);
  const RunResult run = RunConverter({folder / "rock.tga"});
  EXPECT_EQ(run.exitCode, 1);
  const std::string prefix = folder / "rock.tga: ";
  ASSERT_EQ(run.err.rfind(prefix, 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  reasons.insert(run.err.substr(prefix.size()));
  EXPECT_EQ(ReadBytes(folder / "rock.m32"), kEarlier);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"rock.m32", "rock.tga"})) << "no output, no leftovers";
}

TEST(TgaToM32, AMalformedTgaLeavesTheEarlierM32Whole) {
  const TempDir folder;
  TgaFormat format;
  format.type = 9;
  format.depth = 8;
  format.mapEntryBits = 24;
  const Bytes whole = MakeTga(FewColourImage(4, 3), format);
  std::set<std::string> reasons;
  for (const std::size_t length : {std::size_t{0}, std::size_t{17}, whole.size() - 1}) {
    SCOPED_TRACE("cut to " + std::to_string(length) + " bytes");
    ExpectRefusedTga(folder, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)), reasons);
  }
  Bytes badIndex = whole;
  badIndex.back() = 200;
  ExpectRefusedTga(folder, badIndex, reasons);
  EXPECT_EQ(reasons.size(), 4u) << "the messages say what is wrong";
}

TEST(TgaToM32, LikeNeedsASoundM32AndATga) {
  const TempDir folder;
  WriteBytes(folder / "rock.tga", MakeTga(FewColourImage(4, 4), TgaFormat{}));
  Bytes badVersion = EncodeM32(VariedImage(2, 2), "x");
  PutU32(badVersion, kVersionAt, 5);
  WriteBytes(folder / "bad.m32", badVersion);
  Bytes cut = EncodeM32(VariedImage(8, 8), "x");
  cut.resize(1000);
  WriteBytes(folder / "cut.m32", cut);
  for (const std::string reference : {"bad.m32", "cut.m32", "missing.m32"}) {
    const RunResult run = RunConverter({"--like", folder / reference, folder / "rock.tga"});
    EXPECT_EQ(run.exitCode, 1) << reference;
    EXPECT_EQ(run.err.rfind(folder / reference + ": ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  const std::vector<std::vector<std::string>> mistakes = {{"--like", folder / "bad.m32", folder / "bad.m32"},
                                                          {folder / "rock.tga", "--like"},
                                                          {"--like", "a.m32", "--like", "b.m32", folder / "rock.tga"}};
  for (const auto& arguments : mistakes) EXPECT_EQ(RunConverter(arguments).exitCode, 2) << arguments.back();
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"bad.m32", "cut.m32", "rock.tga"}));
}

}  // namespace
