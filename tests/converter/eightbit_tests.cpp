// Round trips of m8, WAL and m32 textures through palette PNGs file by file and through
// true-colour TGAs as a tree, and the refusals of 8-bit textures that cannot be read.
// The textures are made here byte by byte; their smaller levels are noise no averaging
// makes, so that only the reference's own levels, kept, compare equal.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using image_files::Bytes;
using image_files::PutU32;

constexpr std::uint32_t kWidth = 16, kHeight = 8;
constexpr std::size_t kPixels = std::size_t{kWidth} * kHeight;

// Distinct colours but for index 20, which repeats index 10.
Bytes PaletteWithARepeat() {
  Bytes rgb(768);
  for (std::size_t i = 0; i < 256; ++i) {
    rgb[i * 3] = static_cast<std::uint8_t>(i);
    rgb[i * 3 + 1] = static_cast<std::uint8_t>(255 - i);
    rgb[i * 3 + 2] = static_cast<std::uint8_t>(i * 7);
  }
  std::copy_n(rgb.begin() + 30, 3, rgb.begin() + 60);
  return rgb;
}

// Level 0 uses both indices of the repeated colour and the reserved 0 and 255; every
// byte after it is noise.
Bytes WithPixels(Bytes header, std::size_t bytesPerPixel, std::size_t fileSize) {
  const std::size_t level0At = header.size();
  header.resize(fileSize);
  for (std::size_t at = level0At; at < fileSize; ++at) header[at] = static_cast<std::uint8_t>(at * 151 + 7);
  if (bytesPerPixel == 1) {
    for (std::size_t p = 0; p < kPixels; ++p) header[level0At + p] = static_cast<std::uint8_t>(p * 29 + 3);
    const std::uint8_t chosen[] = {0, 255, 10, 20, 20, 10};
    std::copy(std::begin(chosen), std::end(chosen), header.begin() + level0At);
  } else {
    for (std::size_t p = 0; p < kPixels; ++p) header[level0At + p * 4 + 3] = 255;  // TGAs are 24-bit
  }
  return header;
}

// Levels down to 1 x 1 (m8) or 4 of them (WAL), each after the one before.
Bytes M8() {
  Bytes file(1040);
  PutU32(file, 0, 2);
  std::copy_n("wall", 4, file.begin() + 4);
  std::copy_n("wall_2", 6, file.begin() + 228);
  const Bytes palette = PaletteWithARepeat();
  std::copy(palette.begin(), palette.end(), file.begin() + 260);
  for (std::size_t at : {1028, 1032, 1036}) PutU32(file, at, static_cast<std::uint32_t>(at * 3));
  std::size_t offset = 1040;
  for (std::uint32_t i = 0; i < 5; ++i) {
    PutU32(file, 36 + 4 * i, kWidth >> i);
    PutU32(file, 100 + 4 * i, std::max(kHeight >> i, 1u));
    PutU32(file, 164 + 4 * i, static_cast<std::uint32_t>(offset));
    offset += std::size_t{kWidth >> i} * std::max(kHeight >> i, 1u);
  }
  return WithPixels(file, 1, offset);
}

Bytes Wal() {
  Bytes file(100);
  std::copy_n("e1/wall", 7, file.begin());
  std::copy_n("e1/wall_2", 9, file.begin() + 56);
  PutU32(file, 32, kWidth);
  PutU32(file, 36, kHeight);
  for (std::size_t at : {88, 92, 96}) PutU32(file, at, static_cast<std::uint32_t>(at * 5));
  std::size_t offset = 100;
  for (std::uint32_t i = 0; i < 4; ++i) {
    PutU32(file, 40 + 4 * i, static_cast<std::uint32_t>(offset));
    offset += kPixels >> (2 * i);
  }
  return WithPixels(file, 1, offset);
}

Bytes M32() {
  const Bytes rich = RichM32(VariedImage(kWidth, kHeight));
  return WithPixels(Bytes(rich.begin(), rich.begin() + image_files::kHeaderBytes), 4, rich.size());
}

// A 256-colour PCX: its header, a token image, the byte 12 and the palette.
Bytes Pcx() {
  Bytes file(140);
  file[0] = 10;
  file[3] = 8;
  file[65] = 1;
  file.push_back(12);
  const Bytes palette = PaletteWithARepeat();
  file.insert(file.end(), palette.begin(), palette.end());
  return file;
}

TEST(EightBit, RoundTripsKeepEveryByteAndUnreadableTexturesAreRefused) {
  const TempDir folder;
  WriteBytes(folder / "colormap.pcx", Pcx());
  const std::string palette = folder / "colormap.pcx";
  struct Case {
    std::string format;
    Bytes texture;
    std::size_t level0At;  // and for 8-bit textures the palette to write them with
    std::vector<std::string> palette;
  };
  const Case cases[] = {
      {"m8", M8(), 1040, {"--palette", folder / "tex/m8.m8"}},
      {"wal", Wal(), 100, {"--palette", palette}},
      {"m32", M32(), 0, {}},
  };
  const auto run = [](std::vector<std::string> arguments, const std::vector<std::string>& more) {
    arguments.insert(arguments.end(), more.begin(), more.end());
    const RunResult result = RunConverter(arguments);
    EXPECT_EQ(result.exitCode, 0) << result.err;
  };
  fs::create_directory(Utf8Path(folder / "tex"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    const std::string texture = folder / ("tex/" + c.format + "." + c.format), png = folder / (c.format + ".png");
    WriteBytes(texture, c.texture);
    run({texture, "--to", "png", "-o", png}, c.palette);
    run({png, "--like", texture, "-o", folder / ("back." + c.format)}, c.palette);
    EXPECT_EQ(ReadBytes(folder / ("back." + c.format)), c.texture);
    if (c.level0At == 0) continue;
    // Without --like, a palette PNG of the target's palette gives its indices as they are.
    run({png, "--to", c.format, "-o", folder / ("bare." + c.format)}, c.palette);
    const Bytes bare = ReadBytes(folder / ("bare." + c.format));
    ASSERT_GE(bare.size(), c.level0At + kPixels);
    EXPECT_TRUE(
        std::equal(bare.begin() + c.level0At, bare.begin() + c.level0At + kPixels, c.texture.begin() + c.level0At));
  }
  // A tree of all three to true colour and back, each to its own format by its --like.
  run({"-r", folder / "tex", "-o", folder / "tga", "--palette", palette}, {});
  run({"-r", folder / "tga", "--to", "m32", "--like", folder / "tex", "-o", folder / "back", "--palette", palette}, {});
  EXPECT_EQ(Everything(folder / "back"), (std::vector<std::string>{"m32.m32", "m8.m8", "wal.wal"}));
  for (const Case& c : cases) EXPECT_EQ(ReadBytes(folder / ("back/" + c.format + "." + c.format)), c.texture);

  Bytes cut = M8();
  cut.resize(1040 + kPixels - 1);
  WriteBytes(folder / "cut.m8", cut);
  const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
      {{folder / "tex/wal.wal", "-o", folder / "out.tga"}, folder / "tex/wal.wal: "},
      {{folder / "cut.m8", "-o", folder / "out.tga"}, folder / "cut.m8: "},
      {{folder / "wal.png", "--to", "wal", "--palette", folder / "cut.m8", "-o", folder / "out.wal"},
       folder / "cut.m8: "},
  };
  WriteBytes(folder / "out.tga", kEarlier);
  for (const auto& [arguments, start] : refusals) {
    SCOPED_TRACE(start);
    ExpectRefused(RunConverter(arguments), start);
  }
  const RunResult noPalette = RunConverter({folder / "wal.png", "--to", "wal", "-o", folder / "out.wal"});
  EXPECT_EQ(noPalette.exitCode, 2);
  EXPECT_NE(noPalette.err.find("--palette"), std::string::npos) << noPalette.err;
  EXPECT_EQ(ReadBytes(folder / "out.tga"), kEarlier);
  EXPECT_FALSE(fs::exists(Utf8Path(folder / "out.wal")));
  EXPECT_EQ(TemporaryNames(folder), std::vector<std::string>{});
}

}  // namespace
