// Pellicar.exe turning TGA files into m32 textures, run as a user runs it.
#include <algorithm>
#include <bit>
#include <cstring>
#include <set>

#include <gtest/gtest.h>

#include "m32write.h"
#include "test_support.h"
#include "tga_samples.h"

namespace {

using m32write::RgbaImage;

constexpr std::size_t kHeaderBytes = 968;

std::uint32_t U32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes.at(at + i);
  return value;
}

std::vector<std::uint8_t> Level0(const std::vector<std::uint8_t>& m32) {
  const std::size_t offset = U32(m32, m32write::kOffsetsAt);
  const std::size_t bytes = std::size_t{U32(m32, m32write::kWidthsAt)} * U32(m32, m32write::kHeightsAt) * 4;
  EXPECT_LE(offset + bytes, m32.size());
  return {m32.begin() + static_cast<std::ptrdiff_t>(offset), m32.begin() + static_cast<std::ptrdiff_t>(offset + bytes)};
}

// Every level from 1 x 1 up to the image, each right after the one before; the file
// ends with the last.
void ExpectFullMipChain(const std::vector<std::uint8_t>& m32, std::uint32_t width, std::uint32_t height) {
  std::size_t offset = kHeaderBytes;
  std::size_t level = 0;
  for (;; ++level) {
    ASSERT_LT(level, 16u);
    EXPECT_EQ(U32(m32, m32write::kWidthsAt + 4 * level), width);
    EXPECT_EQ(U32(m32, m32write::kHeightsAt + 4 * level), height);
    EXPECT_EQ(U32(m32, m32write::kOffsetsAt + 4 * level), offset);
    offset += std::size_t{width} * height * 4;
    if (width == 1 && height == 1) break;
    width = std::max(1u, width / 2);
    height = std::max(1u, height / 2);
  }
  for (std::size_t absent = level + 1; absent < 16; ++absent) {
    EXPECT_EQ(U32(m32, m32write::kWidthsAt + 4 * absent), 0u);
    EXPECT_EQ(U32(m32, m32write::kOffsetsAt + 4 * absent), 0u);
  }
  EXPECT_EQ(m32.size(), offset);
}

// A texture whose every header field holds something, as a game's textures do.
std::vector<std::uint8_t> RichM32(const RgbaImage& image) {
  std::vector<std::uint8_t> m32 = m32write::EncodeM32(image, "textures/rock/granite");
  const std::pair<std::size_t, std::string_view> names[] = {{132, "textures/rock/granite_alt"},
                                                            {260, "textures/rock/granite2"},
                                                            {388, "textures/rock/granite_dmg"},
                                                            {732, "textures/detail/grain"}};
  for (const auto& [at, name] : names)
    std::copy(name.begin(), name.end(), m32.begin() + static_cast<std::ptrdiff_t>(at));
  std::uint32_t value = 0x01020304;
  for (std::size_t at = 708; at < kHeaderBytes; at += 4) {
    if (at < 732 || at >= 860) m32write::PutU32(m32, at, value += 0x11111111);
  }
  m32write::PutU32(m32, 720, std::bit_cast<std::uint32_t>(0.5f));
  return m32;
}

TEST(TgaToM32, ARoundTripGivesBackLevel0AndEveryHeaderField) {
  for (const bool alpha : {true, false}) {
    SCOPED_TRACE(alpha ? "through a 32-bit TGA" : "through a 24-bit TGA");
    const TempDir folder;
    const RgbaImage image = VariedImage(37, 21);
    const std::vector<std::uint8_t> original = RichM32(image);
    WriteBytes(folder / "rock.m32", original);
    std::vector<std::string> toTga{folder / "rock.m32"};
    if (alpha) toTga.insert(toTga.begin(), "--alpha");
    ASSERT_EQ(RunConverter(toTga).exitCode, 0);

    const RunResult back =
        RunConverter({"--like", folder / "rock.m32", "-o", folder / "rock.m32", folder / "rock.tga"});
    ASSERT_EQ(back.exitCode, 0) << back.err;
    EXPECT_EQ(back.err, "");
    const std::vector<std::uint8_t> m32 = ReadBytes(folder / "rock.m32");
    ASSERT_GE(m32.size(), kHeaderBytes);
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + kHeaderBytes, m32.begin())) << "the header";
    std::vector<std::uint8_t> want = Level0(original);
    if (!alpha) {
      for (std::size_t i = 3; i < want.size(); i += 4) want[i] = 255;
    }
    EXPECT_EQ(Level0(m32), want);
    ExpectFullMipChain(m32, 37, 21);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"rock.m32", "rock.tga"}));
  }
}

TEST(TgaToM32, WithoutLikeTheHeaderNamesTheTextureAfterItsFile) {
  const TempDir folder;
  const RgbaImage image = FewColourImage(13, 6);
  TgaFormat format;
  format.type = 10;
  WriteBytes(folder / "Brick Wall.TGA", MakeTga(image, format));
  const RunResult run = RunConverter({folder / "Brick Wall.TGA"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"Brick Wall.TGA", "Brick Wall.m32"}));
  const std::vector<std::uint8_t> m32 = ReadBytes(folder / "Brick Wall.m32");
  ASSERT_GE(m32.size(), kHeaderBytes);
  EXPECT_EQ(U32(m32, 0), 4u) << "version";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&m32[4])), "Brick Wall");
  ExpectFullMipChain(m32, 13, 6);
  EXPECT_EQ(Level0(m32), image.rgba);
  for (std::size_t at = 4 + 11; at < kHeaderBytes; ++at) {
    if (at >= 516 && at < 708) continue;  // the levels' sides and offsets
    if (at == 720 || at == 724 || at == 860 || at == 864) {
      EXPECT_EQ(std::bit_cast<float>(U32(m32, at)), 1.0f) << "scale at " << at;
      at += 3;
      continue;
    }
    EXPECT_EQ(m32[at], 0) << "at " << at;
  }
}

TEST(TgaToM32, BothWaysInOneRunAndTheRestStillConvertWhenOneFails) {
  const TempDir folder;
  const RgbaImage a = FewColourImage(5, 4);
  const RgbaImage b = VariedImage(3, 7);
  WriteBytes(folder / "a.tga", MakeTga(a, TgaFormat{}));
  WriteM32(folder / "b.m32", b);
  WriteBytes(folder / "c.tga", {0, 0, 2, 0, 0});
  WriteBytes(folder / "d.Tga", MakeTga(a, TgaFormat{}));
  const RunResult run = RunConverter({folder / "a.tga", folder / "b.m32", folder / "c.tga", folder / "d.Tga"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.rfind(folder / "c.tga: ", 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"a.m32", "a.tga", "b.m32", "b.tga", "c.tga", "d.Tga", "d.m32"}));
  EXPECT_EQ(Level0(ReadBytes(folder / "a.m32")), a.rgba);
  EXPECT_EQ(Level0(ReadBytes(folder / "d.m32")), a.rgba);
  ExpectTga(folder / "b.tga", b, false);
}

void ExpectRefusedTga(const TempDir& folder, const std::vector<std::uint8_t>& tga, std::set<std::string>& reasons) {
  const std::vector<std::uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  WriteBytes(folder / "rock.tga", tga);
  WriteBytes(folder / "rock.m32", earlier);
  const RunResult run = RunConverter({folder / "rock.tga"});
  EXPECT_EQ(run.exitCode, 1);
  const std::string prefix = folder / "rock.tga: ";
  ASSERT_EQ(run.err.rfind(prefix, 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  reasons.insert(run.err.substr(prefix.size()));
  EXPECT_EQ(ReadBytes(folder / "rock.m32"), earlier);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"rock.m32", "rock.tga"})) << "no output, no leftovers";
}

TEST(TgaToM32, AMalformedTgaLeavesTheEarlierM32Whole) {
  const TempDir folder;
  TgaFormat format;
  format.type = 9;
  format.depth = 8;
  format.mapEntryBits = 24;
  const std::vector<std::uint8_t> whole = MakeTga(FewColourImage(4, 3), format);
  std::set<std::string> reasons;
  for (std::size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE("cut to " + std::to_string(length) + " bytes");
    ExpectRefusedTga(
        folder, std::vector<std::uint8_t>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)), reasons);
  }
  std::vector<std::uint8_t> badIndex = whole;
  badIndex.back() = 200;
  ExpectRefusedTga(folder, badIndex, reasons);
  EXPECT_GE(reasons.size(), 5u) << "the messages say what is wrong";
}

TEST(TgaToM32, LikeNeedsASoundM32AndATga) {
  const TempDir folder;
  WriteBytes(folder / "rock.tga", MakeTga(FewColourImage(4, 4), TgaFormat{}));
  std::vector<std::uint8_t> badVersion = m32write::EncodeM32(VariedImage(2, 2), "x");
  m32write::PutU32(badVersion, m32write::kVersionAt, 5);
  WriteBytes(folder / "bad.m32", badVersion);
  std::vector<std::uint8_t> cut = m32write::EncodeM32(VariedImage(8, 8), "x");
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
