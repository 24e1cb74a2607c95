// The 8-bit formats on files made here byte by byte from the layouts: both readers and
// their refusals, the palette files, the nearest colour against a search of the whole
// palette, and the round trips that must lose nothing.
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/indexed_writer.h"
#include "formats/m8.h"
#include "formats/tga_reader.h"
#include "formats/wal.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using formats::MipLevel;

void Put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A palette whose every colour differs; index i holds (i, 255 - i, i * 7).
formats::Palette Ramp() {
  formats::Palette palette;
  for (std::size_t i = 0; i < 256; ++i) {
    palette.rgb[i * 3] = static_cast<std::uint8_t>(i);
    palette.rgb[i * 3 + 1] = static_cast<std::uint8_t>(255 - i);
    palette.rgb[i * 3 + 2] = static_cast<std::uint8_t>(i * 7);
  }
  return palette;
}

// Levels laid one after another from `first`, each filled with index (level * 50 + pixel).
Bytes WithLevels(Bytes header, std::vector<MipLevel>& levels, std::uint64_t first) {
  for (MipLevel& level : levels) {
    level.offset = first;
    first += std::uint64_t{level.width} * level.height;
  }
  header.resize(first);
  for (std::size_t l = 0; l < levels.size(); ++l) {
    for (std::size_t p = 0; p < std::size_t{levels[l].width} * levels[l].height; ++p)
      header[levels[l].offset + p] = static_cast<std::uint8_t>(l * 50 + p);
  }
  return header;
}

Bytes HandMadeM8(std::vector<MipLevel> levels, const formats::Palette& palette) {
  Bytes file(1040);
  Put32(file, 0, 2);
  std::copy(palette.rgb.begin(), palette.rgb.end(), file.begin() + 260);
  file = WithLevels(file, levels, 1040);
  for (std::size_t i = 0; i < levels.size(); ++i) {
    Put32(file, 36 + 4 * i, levels[i].width);
    Put32(file, 100 + 4 * i, levels[i].height);
    Put32(file, 164 + 4 * i, static_cast<std::uint32_t>(levels[i].offset));
  }
  return file;
}

Bytes HandMadeWal(std::uint32_t width, std::uint32_t height) {
  std::vector<MipLevel> levels;
  for (unsigned i = 0; i < 4; ++i) levels.push_back({width >> i, height >> i, 0});
  Bytes file = WithLevels(Bytes(100), levels, 100);
  Put32(file, 32, width);
  Put32(file, 36, height);
  for (std::size_t i = 0; i < 4; ++i) Put32(file, 40 + 4 * i, static_cast<std::uint32_t>(levels[i].offset));
  return file;
}

struct Read {
  std::string error;
  Bytes rgba;
};

Read ReadLevel0(const Bytes& file, bool wal, const formats::Palette& palette) {
  formats::MemorySource source(file);
  const formats::M8Read m8 = formats::ReadM8Header(source);
  const formats::HeaderResult header = wal ? formats::ReadWalHeader(source).level0 : m8.level0;
  formats::IndexedReader reader(source, header, wal ? palette : formats::M8Palette(m8.header));
  Read read{reader.Error(), {}};
  Bytes row(std::size_t{reader.Width()} * 4);
  for (std::uint32_t y = 0; read.error.empty() && y < reader.Height(); ++y) {
    if (!reader.ReadRow(row)) read.error = reader.Error();
    read.rgba.insert(read.rgba.end(), row.begin(), row.end());
  }
  return read;
}

TEST(IndexedFormats, ReadersGiveTheIndicesColoursAndRefuseEveryDamage) {
  const formats::Palette palette = Ramp();
  const Bytes m8 = HandMadeM8({{5, 3, 0}, {2, 1, 0}, {1, 1, 0}}, palette);
  const Bytes wal = HandMadeWal(16, 8);
  const auto changed = [](Bytes file, std::size_t at, std::uint32_t value) {
    Put32(file, at, value);
    return file;
  };
  struct Case {
    const char* what;
    Bytes file;
    bool wal;
    std::string error;  // a part of the message; empty when the file reads
  } cases[] = {
      {"a sound m8", m8, false, ""},
      {"a sound WAL", wal, true, ""},
      {"empty m8", {}, false, "empty file"},
      {"empty WAL", {}, true, "empty file"},
      {"m8 header cut", Bytes(m8.begin(), m8.begin() + 1039), false, "too short for an m8 texture: 1,039 bytes"},
      {"WAL header cut", Bytes(wal.begin(), wal.begin() + 99), true, "too short for a WAL texture: 99 bytes"},
      {"m8 version", changed(m8, 0, 4), false, "version 4, expected 2"},
      {"m8 no width", changed(m8, 36, 0), false, "no image: level 0 is 0 x 3"},
      {"WAL no height", changed(wal, 36, 0), true, "no image: level 0 is 16 x 0"},
      {"m8 too wide", changed(m8, 36, 65536), false, "too large for a TGA"},
      {"WAL too high", changed(wal, 36, 70000), true, "too large for a TGA"},
      {"m8 offset past the end", changed(m8, 164, 5000), false, "starts at byte 5,000, past the end"},
      {"WAL offset past the end", changed(wal, 40, 0xFFFFFFFF), true, "past the end"},
      {"m8 pixels cut", Bytes(m8.begin(), m8.begin() + 1054), false,
       "truncated: pixel data ends at byte 1,054 of 1,055"},
      {"WAL too large for the file", changed(changed(wal, 32, 65535), 36, 65535), true, "truncated"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Read read = ReadLevel0(c.file, c.wal, palette);
    if (!c.error.empty()) {
      EXPECT_NE(read.error.find(c.error), std::string::npos) << read.error;
      continue;
    }
    ASSERT_EQ(read.error, "");
    const std::size_t at = c.wal ? 100 : 1040;
    for (std::size_t p = 0; p < read.rgba.size() / 4; ++p) {
      const std::uint8_t* colour = palette.Colour(c.file[at + p]);
      EXPECT_TRUE(std::equal(colour, colour + 3, &read.rgba[p * 4]) && read.rgba[p * 4 + 3] == 255) << p;
    }
  }
  // Previews: the smallest level that fits, passing over one that lies outside the file.
  EXPECT_EQ(formats::PickM8Level(m8, m8.size(), {2, 1, 2}).index, 1u);
  EXPECT_EQ(formats::PickM8Level(changed(m8, 168, 9999), m8.size(), {1, 1, 1}).index, 2u);
  EXPECT_EQ(formats::PickWalLevel(wal, wal.size(), {4, 2, 4}).index, 2u);
  EXPECT_EQ(formats::PickWalLevel(changed(wal, 48, 9999), wal.size(), {4, 2, 4}).index, 1u);
  EXPECT_FALSE(formats::PickWalLevel(Bytes(wal.begin(), wal.begin() + 50), 50, {1, 1, 1}).Ok());
}

TEST(IndexedFormats, PalettesFromEachKindOfFileAndTheirRefusals) {
  const formats::Palette palette = Ramp();
  Bytes pcx(128 + 20);
  pcx[0] = 10, pcx[3] = 8, pcx[65] = 1;
  pcx.push_back(12);
  pcx.insert(pcx.end(), palette.rgb.begin(), palette.rgb.end());
  std::string jasc = "JASC-PAL\r\n0100\r\n256\r\n";
  for (std::size_t i = 0; i < 256; ++i) {
    jasc += std::to_string(palette.rgb[i * 3]) + " " + std::to_string(palette.rgb[i * 3 + 1]) + " " +
            std::to_string(palette.rgb[i * 3 + 2]) + "\r\n";
  }
  const auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
  Bytes badMark = pcx;
  badMark[badMark.size() - 769] = 0;
  std::string badLine = jasc;
  badLine.replace(badLine.find("\r\n7 "), 4, "\r\n7x");
  const struct {
    const char* what;
    Bytes file;
    std::string error;
  } cases[] = {
      {"PCX", pcx, ""},
      {"JASC-PAL", text(jasc), ""},
      {"m8", HandMadeM8({{2, 2, 0}}, palette), ""},
      {"raw", Bytes(palette.rgb.begin(), palette.rgb.end()), ""},
      {"PCX without its mark", badMark, "not 12"},
      {"PCX of 4 bits",
       [&] {
         Bytes b = pcx;
         b[3] = 4;
         return b;
       }(),
       "4 bits per pixel in 1 planes"},
      {"JASC-PAL of 16 colours", text("JASC-PAL\n0100\n16\n"), "of 16 colours"},
      {"JASC-PAL cut", text(jasc.substr(0, jasc.find("\r\n7 ") + 2)), "ends after 7 colours"},
      {"JASC-PAL with a letter", text(badLine), "line 11 is not three numbers"},
      {"767 bytes", Bytes(767), "not a palette"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    formats::MemorySource source(c.file);
    const formats::PaletteResult read = formats::ReadPalette(source);
    if (c.error.empty()) {
      EXPECT_EQ(read.error, "");
      EXPECT_TRUE(read.palette == palette);
    } else {
      EXPECT_NE(read.error.find(c.error), std::string::npos) << read.error;
    }
  }
}

std::uint64_t BruteDistance(const formats::ColourMetric& metric, const std::uint8_t* a, const std::uint8_t* b) {
  std::uint64_t sum = 0;
  for (int c = 0; c < 3; ++c) {
    const std::int64_t d = std::int64_t{metric.scale[a[c]]} - metric.scale[b[c]];
    sum += metric.weight[c] * static_cast<std::uint64_t>(d * d);
  }
  return sum;
}

// Random palettes, some crowded into a corner and full of repeats, against every colour
// of a random sample: the table's answer is the whole palette's, lowest index on a tie.
TEST(NearestColour, IsTheWholePalettesNearestAndNeverReserved) {
  std::mt19937 random(28);
  for (int round = 0; round < 12; ++round) {
    formats::Palette palette;
    const int spread = round % 3 == 0 ? 256 : (round % 3 == 1 ? 40 : 8);
    for (auto& byte : palette.rgb) byte = static_cast<std::uint8_t>(random() % spread + (round % 2) * (256 - spread));
    const formats::ReservedIndices reserved = round % 2 ? formats::M8Reserved() : formats::WalReserved();
    const formats::ColourMetric metric = round < 6 ? formats::SrgbDistance() : formats::LightDistance();
    formats::NearestColour nearest(palette, reserved, metric);
    formats::ErrorDiffusion diffusion(nearest, 64);
    Bytes row(64 * 4);
    Bytes indices(64);
    for (int line = 0; line < 64; ++line) {
      for (auto& byte : row) byte = static_cast<std::uint8_t>(random());
      nearest.MapRow(row, indices);
      for (std::size_t x = 0; x < 64; ++x) {
        std::size_t best = 0;
        std::uint64_t bestDistance = UINT64_MAX;
        for (std::size_t i = 0; i < 256; ++i) {
          const std::uint64_t d = BruteDistance(metric, &row[x * 4], palette.Colour(i));
          if (!reserved.test(i) && d < bestDistance) best = i, bestDistance = d;
        }
        ASSERT_EQ(indices[x], best) << "round " << round;
      }
      diffusion.MapRow(row, indices);
      for (const std::uint8_t index : indices) ASSERT_FALSE(reserved.test(index));
    }
  }
}

struct MemorySink final : formats::PositionedSink {
  Bytes bytes;
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> more) override {
    if (bytes.size() < offset + more.size()) bytes.resize(offset + more.size());
    std::copy(more.begin(), more.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
  }
};

// The palette for the round trips: the ramp with index 9's colour again at 200, so that
// a colour alone cannot tell which of the two a pixel was.
formats::Palette WithRepeat() {
  formats::Palette palette = Ramp();
  std::copy_n(palette.Colour(9), 3, palette.rgb.begin() + 200 * 3);
  return palette;
}

struct Written {
  Bytes file;
  bool kept = false;
};

// The texture written from `rgba`, or from `indices` when given, like `reference`.
Written Write(bool wal, const Bytes& reference, const Bytes& rgba, const Bytes* indices, bool dither) {
  const formats::Palette palette = WithRepeat();
  formats::MemorySource source(reference);
  const std::uint32_t width = wal ? 16 : 6, height = wal ? 8 : 5;
  const formats::M32Layout layout = wal ? formats::LayOutWal(width, height) : formats::LayOutM8(width, height);
  const std::vector<MipLevel> theirs = wal ? formats::WalLevels(reference) : formats::M8Levels(reference);
  formats::ReferenceLevels like(source, theirs, 1);
  formats::NearestColour nearest(palette, wal ? formats::WalReserved() : formats::M8Reserved());
  MemorySink sink;
  formats::IndexedWriter writer(layout, sink, nearest, {.dither = dither}, &like);
  for (std::uint32_t y = 0; y < height; ++y) {
    const bool added = indices ? writer.AddIndexRow(std::span(*indices).subspan(y * width, width))
                               : writer.AddRow(std::span(rgba).subspan(y * width * 4, width * 4));
    EXPECT_TRUE(added);
  }
  EXPECT_TRUE(writer.Finish());
  const std::size_t header = wal ? 100 : 1040;
  sink.bytes.erase(sink.bytes.begin(), sink.bytes.begin() + header);  // the caller's part
  return {sink.bytes, writer.KeptReferenceLevels()};
}

TEST(IndexedWriter, RoundTripsKeepIndicesAndTheReferencesLevels) {
  const formats::Palette palette = WithRepeat();
  for (const bool wal : {false, true}) {
    SCOPED_TRACE(wal ? "WAL" : "m8");
    // A reference whose level 0 uses both copies of the repeated colour and the reserved
    // ends, and whose smaller levels are not what averaging would make.
    Bytes reference = wal ? HandMadeWal(16, 8) : HandMadeM8({{6, 5, 0}, {3, 2, 0}, {1, 1, 0}}, palette);
    const std::size_t at = wal ? 100 : 1040;
    const std::uint32_t pixels = wal ? 128 : 30;
    reference[at] = 9, reference[at + 1] = 200, reference[at + 2] = 0, reference[at + 3] = 255;
    const Bytes level0(reference.begin() + at, reference.begin() + at + pixels);
    const Bytes mips(reference.begin() + at + pixels, reference.end());
    Bytes rgba(pixels * 4);
    formats::Colour(level0, palette, rgba.data());

    for (const bool dither : {false, true}) {
      // True colour made from the reference: every index back, and its own levels.
      const Written same = Write(wal, reference, rgba, nullptr, dither);
      EXPECT_EQ(Bytes(same.file.begin(), same.file.begin() + pixels), level0);
      EXPECT_TRUE(same.kept);
      EXPECT_EQ(Bytes(same.file.begin() + pixels, same.file.end()), mips);
    }
    // Indices in, the same indices out, whatever the reference says.
    Bytes given = level0;
    std::reverse(given.begin(), given.end());
    const Written indices = Write(wal, reference, {}, &given, false);
    EXPECT_EQ(Bytes(indices.file.begin(), indices.file.begin() + pixels), given);
    EXPECT_FALSE(indices.kept);

    // One pixel touched: the rest keep their indices, the smaller levels are made again
    // from the colours averaged, never from indices, and mapped among the unreserved.
    Bytes touched = rgba;
    touched[4 * 5] = 0, touched[4 * 5 + 1] = 0, touched[4 * 5 + 2] = 0;
    const Written changed = Write(wal, reference, touched, nullptr, false);
    EXPECT_FALSE(changed.kept);
    for (std::size_t p = 0; p < pixels; ++p) {
      if (p != 5) {
        EXPECT_EQ(changed.file[p], level0[p]) << p;
      }
    }
    EXPECT_NE(changed.file.back(), mips.back());
    EXPECT_FALSE((wal ? formats::WalReserved() : formats::M8Reserved()).test(changed.file.back()));
  }
}

}  // namespace
