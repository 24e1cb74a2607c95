// Pellicar.exe between PNG and m32, run as a user runs it. The PNGs are made here with
// libspng's encoder from samples of every colour type and depth; what the converter
// reads from them is checked against the pixels those samples stand for and, where Qt
// is built, against Qt's PNG reader too.
#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

#include "converter/convert.h"
#include "support/image_files.h"
#include "test_support.h"

#ifdef PELLICAR_TEST_WITH_QT
#include <QImage>
#endif

namespace {

using image_files::Bytes;

struct PngKind {
  std::uint8_t colourType;
  std::uint8_t depth;
  bool interlaced;
  bool transparency;                 // a tRNS chunk
  std::uint32_t paletteEntries = 0;  // fewer than the indices 8 bits hold: none past them is used
  bool pastThePalette = false;       // ...but the last pixel's
};

// A PNG of random samples, and the RGBA pixels they stand for.
std::pair<Bytes, Bytes> MakePng(const PngKind& kind, std::uint32_t width, std::uint32_t height) {
  std::mt19937 random(kind.colourType * 100 + kind.depth);
  const std::uint32_t channels = std::array{1, 0, 3, 1, 2, 0, 4}[kind.colourType];
  const std::uint32_t top = (1u << kind.depth) - 1;
  std::vector<std::array<std::uint8_t, 4>> palette(kind.colourType != 3  ? 0
                                                   : kind.paletteEntries ? kind.paletteEntries
                                                                         : top + 1);
  for (auto& entry : palette) entry = {std::uint8_t(random()), std::uint8_t(random()), std::uint8_t(random()), 255};
  const std::size_t rowBytes = (std::size_t{width} * channels * kind.depth + 7) / 8;
  Bytes raw(rowBytes * height);  // the rows as the file holds them: samples big-endian, packed
  for (auto& byte : raw) byte = std::uint8_t(kind.paletteEntries ? random() % kind.paletteEntries : random());
  const auto at = [&](std::uint32_t y, std::size_t k) -> std::uint32_t {  // row y's kth sample
    const std::uint8_t* row = &raw[y * rowBytes];
    if (kind.depth == 16) return row[2 * k] << 8 | row[2 * k + 1];
    return row[k * kind.depth / 8] >> (8 - kind.depth - k * kind.depth % 8) & top;
  };
  const auto to8 = [&](std::uint32_t v) {
    return std::uint8_t(kind.depth == 16 ? (v * 2 + 257) / 514 : v * 255 / top);
  };
  Bytes rgba;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::array<std::uint32_t, 4> v{};
      for (std::uint32_t c = 0; c < channels; ++c) v[c] = at(y, std::size_t{x} * channels + c);
      const std::size_t g = channels < 3 ? 0 : 1, b = channels < 3 ? 0 : 2;  // grey: one sample for all three
      std::array<std::uint8_t, 4> px{to8(v[0]), to8(v[g]), to8(v[b]),
                                     channels % 2 ? std::uint8_t(255) : to8(v[channels - 1])};
      if (kind.colourType == 3) px = palette[v[0]];
      if (kind.transparency && v[0] == 1) px[3] = 0;  // the tRNS chunk below
      rgba.insert(rgba.end(), px.begin(), px.end());
    }
  }
  if (kind.pastThePalette) raw.back() = 255;
  spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr ihdr{width, height, kind.depth, kind.colourType, 0, 0, std::uint8_t(kind.interlaced)};
  spng_set_ihdr(ctx, &ihdr);
  if (kind.colourType == 3) {
    spng_plte plte{};
    plte.n_entries = static_cast<std::uint32_t>(palette.size());
    for (std::size_t i = 0; i < palette.size(); ++i) plte.entries[i] = {palette[i][0], palette[i][1], palette[i][2], 0};
    spng_set_plte(ctx, &plte);
  }
  if (kind.transparency) {  // makes palette entry 1, or the sample value 1, transparent
    spng_trns trns{};
    trns.gray = trns.red = trns.green = trns.blue = 1;
    trns.n_type3_entries = 2;
    trns.type3_alpha[0] = 255;
    trns.type3_alpha[1] = 0;
    spng_set_trns(ctx, &trns);
  }
  EXPECT_EQ(spng_encode_image(ctx, raw.data(), raw.size(), SPNG_FMT_RAW, SPNG_ENCODE_FINALIZE), 0);
  std::size_t size = 0;
  int error = 0;
  auto* buffer = static_cast<std::uint8_t*>(spng_get_png_buffer(ctx, &size, &error));
  Bytes png(buffer, buffer + size);
  free(buffer);
  spng_ctx_free(ctx);
  return {png, rgba};
}

// Each kind interlaced at one size and not at the other; at 3 x 2 most passes of the
// interlacing are empty.
TEST(Png, EveryColourTypeAndDepthReadsAsTheSamplesSay) {
  const PngKind kinds[] = {{0, 1, false, false},      {0, 2, true, false},  {0, 4, false, true},   {0, 8, false, false},
                           {0, 16, true, false},      {2, 8, false, false}, {2, 16, false, false}, {2, 8, true, false},
                           {3, 1, false, false},      {3, 2, false, true},  {3, 4, true, false},   {3, 8, false, true},
                           {3, 8, false, false, 200}, {4, 8, false, false}, {4, 16, true, false},  {6, 8, false, false},
                           {6, 16, false, false}};
  const TempDir folder;
  for (PngKind kind : kinds) {
    for (const auto& [width, height] : {std::pair(13u, 9u), std::pair(3u, 2u)}) {
      kind.interlaced = !kind.interlaced;
      SCOPED_TRACE("colour type " + std::to_string(kind.colourType) + ", " + std::to_string(kind.depth) + " bits" +
                   (kind.interlaced ? ", interlaced" : "") + (kind.transparency ? ", tRNS" : "") + ", " +
                   std::to_string(width) + " x " + std::to_string(height));
      const auto [png, rgba] = MakePng(kind, width, height);
      WriteBytes(folder / "in.png", png);
      const RunResult run = RunConverter({folder / "in.png"});
      ASSERT_EQ(run.exitCode, 0) << run.err;
      EXPECT_EQ(ReadBytes(folder / "in.m32"), image_files::EncodeM32({width, height, rgba}, "in"));
#ifdef PELLICAR_TEST_WITH_QT
      QImage qt = QImage::fromData(png.data(), static_cast<int>(png.size()), "PNG");
      qt = qt.convertToFormat(QImage::Format_RGBA8888);
      Bytes shown = rgba;  // Qt keeps no colour for a grey that tRNS makes transparent
      for (std::size_t i = 0; kind.colourType == 0 && i < shown.size(); i += 4) {
        if (shown[i + 3] == 0) std::fill_n(&shown[i], 3, 0);
      }
      EXPECT_EQ(Bytes(qt.constBits(), qt.constBits() + qt.sizeInBytes()), shown) << "as Qt reads it";
#endif
    }
  }
}

// Each image needs a kind of its own, the smallest that keeps every pixel; each reads
// back exactly, by the program and by Qt. A 16-bit PNG goes through an m32 first.
TEST(Png, EachImageIsWrittenAsTheSmallestKindThatKeepsItsPixels) {
  const auto image = [](auto pixel) {
    image_files::RgbaImage made{32, 9, {}};
    for (std::uint32_t i = 0; i < 32 * 9; ++i) {
      const std::array<std::uint8_t, 4> rgba = pixel(i);
      made.rgba.insert(made.rgba.end(), rgba.begin(), rgba.end());
    }
    return made;
  };
  const auto grey = [](std::uint8_t v, std::uint8_t a) { return std::array<std::uint8_t, 4>{v, v, v, a}; };
  const auto colour = [](std::uint32_t i, std::uint8_t a) {
    return std::array<std::uint8_t, 4>{std::uint8_t(i), std::uint8_t(i * 7 + 1), std::uint8_t(i / 256 + 9), a};
  };
  const auto [png16, rgba16] = MakePng({6, 16, false, false}, 32, 9);
  const struct {
    std::string what;
    image_files::RgbaImage image;
    bool keepAlpha;
    std::uint8_t colourType, depth;
  } cases[] = {
      {"black and white", image([&](auto i) { return grey(i % 3 ? 255 : 0, 255); }), false, 0, 1},
      {"four greys in 2 bits", image([&](auto i) { return grey(std::uint8_t(i % 4 * 85), 255); }), false, 0, 2},
      {"every grey", image([&](auto i) { return grey(std::uint8_t(i), 255); }), false, 0, 8},
      {"grey with alpha", image([&](auto i) { return grey(std::uint8_t(i / 2), std::uint8_t(i)); }), false, 4, 8},
      {"2 colours", image([&](auto i) { return colour(i % 2, 255); }), false, 3, 1},
      {"16 colours, one clear", image([&](auto i) { return colour(i % 16, i % 16 ? 255 : 0); }), false, 3, 4},
      {"256 colours with alpha", image([&](auto i) { return colour(i % 256, std::uint8_t(i)); }), false, 3, 8},
      {"257 colours", image([&](auto i) { return colour(i % 257, 255); }), false, 2, 8},
      {"257 colours with alpha", image([&](auto i) { return colour(i % 257, std::uint8_t(i)); }), false, 6, 8},
      {"opaque grey, --alpha", image([&](auto i) { return grey(i % 2 ? 255 : 0, 255); }), true, 4, 8},
      {"2 colours, --alpha", image([&](auto i) { return colour(i % 2, 255); }), true, 6, 8},
      {"from a 16-bit PNG", {32, 9, rgba16}, false, 6, 8},
  };
  const TempDir folder;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.what == "from a 16-bit PNG") {
      WriteBytes(folder / "in.png", png16);
      ASSERT_EQ(RunConverter({"-o", folder / "in.m32", folder / "in.png"}).exitCode, 0);
    } else {
      WriteM32(folder / "in.m32", c.image);
    }
    std::vector<std::string> out{"-o", folder / "out.png", folder / "in.m32"};
    if (c.keepAlpha) out.insert(out.begin(), "--alpha");
    ASSERT_EQ(RunConverter(out).exitCode, 0);
    const Bytes png = ReadBytes(folder / "out.png");
    ASSERT_GT(png.size(), 25u);
    EXPECT_EQ(png[24], c.depth) << "bits";
    EXPECT_EQ(png[25], c.colourType) << "colour type";
    ASSERT_EQ(RunConverter({"-o", folder / "back.m32", folder / "out.png"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(folder / "back.m32"), image_files::EncodeM32(c.image, "back"));
#ifdef PELLICAR_TEST_WITH_QT
    const QImage qt =
        QImage::fromData(png.data(), static_cast<int>(png.size()), "PNG").convertToFormat(QImage::Format_RGBA8888);
    EXPECT_EQ(Bytes(qt.constBits(), qt.constBits() + qt.sizeInBytes()), c.image.rgba) << "as Qt reads it";
#endif
  }
}

// Fine black and white detail averages to the grey the eye sees in linear light, to
// the bytes' mean in plain; alpha plainly in both, and colour weighed by it.
TEST(Png, MipLevelsAverageInLinearLightWhenAsked) {
  const TempDir folder;
  for (const bool blackIsClear : {false, true}) {
    image_files::RgbaImage checker{8, 4, {}};
    for (std::uint32_t i = 0; i < 32; ++i) {
      const std::uint8_t v = (i + i / 8) % 2 ? 255 : 0;
      checker.rgba.insert(checker.rgba.end(), {v, v, v, std::uint8_t(blackIsClear ? v : 255)});
    }
    WriteM32(folder / "checker.m32", checker);
    ASSERT_EQ(RunConverter({"-o", folder / "checker.png", folder / "checker.m32"}).exitCode, 0);
    for (const std::string mips : {"linear", "plain"}) {
      SCOPED_TRACE(mips + (blackIsClear ? ", black transparent" : ""));
      ASSERT_EQ(RunConverter({"--mips", mips, folder / "checker.png"}).exitCode, 0);
      const Bytes m32 = ReadBytes(folder / "checker.m32");
      ASSERT_EQ(m32.size(), image_files::kHeaderBytes + 4 * (32 + 8 + 2 + 1));
      const Bytes level1(m32.begin() + image_files::kHeaderBytes + 128, m32.begin() + image_files::kHeaderBytes + 160);
      const std::uint8_t grey = blackIsClear ? 255 : mips == "plain" ? 128 : level1[0];
      EXPECT_TRUE(blackIsClear || mips == "plain" || grey == 187 || grey == 188) << int{grey};
      const std::uint8_t alpha = blackIsClear ? 128 : 255;
      for (std::size_t i = 0; i < level1.size(); i += 4)
        EXPECT_EQ(Bytes(&level1[i], &level1[i + 4]), (Bytes{grey, grey, grey, alpha})) << i;
    }
  }
}

// The PNG with its header saying `side` pixels square (or, given `depth`, that many bits
// a sample), and that chunk's CRC made right.
Bytes Claiming(Bytes png, std::uint32_t side, std::uint8_t depth = 0) {
  for (std::size_t i = 0; i < 8; ++i) png[16 + i] = std::uint8_t(side >> (24 - 8 * (i % 4)));
  png[24] = depth ? depth : png[24];
  const std::uint32_t crc = crc32(0, &png[12], 17);
  for (std::size_t i = 0; i < 4; ++i) png[29 + i] = std::uint8_t(crc >> (24 - 8 * i));
  return png;
}

// Each refused with one line and exit 1, the earlier output left as it was and nothing
// else written.
TEST(Png, DamagedAndHostileFilesAreRefusedWithNothingWritten) {
  const Bytes good = MakePng({2, 8, false, false}, 13, 9).first;
  std::vector<std::pair<std::string, Bytes>> files;
  for (std::size_t cut = 0; cut < good.size(); ++cut)
    files.emplace_back("cut at " + std::to_string(cut), Bytes(good.begin(), good.begin() + cut));
  for (const std::size_t at : {std::size_t{29}, std::size_t{40}, good.size() - 1}) {
    files.emplace_back("a CRC or the data under it changed at " + std::to_string(at), good);
    files.back().second[at] ^= 1;
  }
  files.emplace_back("60,000 pixels square", Claiming(good, 60000));
  files.emplace_back("too little data for 4,000 x 4,000", Claiming(good, 4000));
  files.emplace_back("a palette of 255 bits", Claiming(MakePng({3, 8, false, false}, 3, 3).first, 3, 255));
  for (const bool interlaced : {false, true})
    files.emplace_back("a palette index past the end", MakePng({3, 8, interlaced, false, 200, true}, 13, 9).first);
  const TempDir folder;
  WriteBytes(folder / "out.m32", {1, 2, 3});
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto& [what, png] = files[i];
    SCOPED_TRACE(what);
    WriteBytes(folder / "in.png", png);
    // Every cut in-process; three of them, and the rest, through the program.
    if (i < good.size() && i != 0 && i != 17 && i != good.size() - 1) {
      EXPECT_NE(converter::ConvertImage(Utf8Path(folder / "in.png"), Utf8Path(folder / "out.m32")), "");
    } else {
      const RunResult run = RunConverter({"-o", folder / "out.m32", folder / "in.png"});
      ExpectRefused(run, folder / "in.png: ");
    }
    EXPECT_EQ(ReadBytes(folder / "out.m32"), (Bytes{1, 2, 3}));
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.png", "out.m32"}));
  }
}

}  // namespace
