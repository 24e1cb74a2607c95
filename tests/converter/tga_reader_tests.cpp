// The TGA reader and the m32 writer on files made in memory: every type, depth and
// origin; the alpha rules; malformed files; and the mip levels against the tests' writer.
#include <random>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "formats/linear_light.h"
#include "formats/m32_writer.h"
#include "formats/tga_reader.h"
#include "test_support.h"

namespace {

using namespace image_files;

struct Read {
  std::string error;
  RgbaImage image;
};

// Opens the file and reads every row, as the converter does.
Read ReadTga(const Bytes& file) {
  formats::MemorySource source(file);
  formats::TgaReader reader(source);
  Read read{reader.Error(), {reader.Width(), reader.Height(), {}}};
  Bytes row(std::size_t{reader.Width()} * 4);
  for (std::uint32_t y = 0; read.error.empty() && y < reader.Height(); ++y) {
    if (!reader.ReadRow(row)) read.error = reader.Error();
    read.image.rgba.insert(read.image.rgba.end(), row.begin(), row.end());
  }
  return read;
}

// Alpha as stored where the file has alpha bits (and the images here use them), else 255.
RgbaImage Expected(RgbaImage image, const TgaFormat& format) {
  for (std::size_t i = 3; format.alphaBits == 0 && i < image.rgba.size(); i += 4) image.rgba[i] = 255;
  return image;
}

// Each type plain and run-length encoded, packets crossing rows or not, from each corner,
// with or without an image ID and a footer.
TEST(TgaReader, EveryTypeDepthAndOriginGivesTheSamePixels) {
  const TgaFormat kinds[] = {{.type = 2, .depth = 15, .alphaBits = 0},
                             {.type = 2, .depth = 16, .alphaBits = 1},
                             {.type = 2, .depth = 24, .alphaBits = 0},
                             {.type = 2, .depth = 32},
                             {.type = 1, .depth = 8, .mapEntryBits = 15, .alphaBits = 0},
                             {.type = 1, .depth = 8, .mapEntryBits = 16, .mapFirst = 5, .alphaBits = 1},
                             {.type = 1, .depth = 8, .mapEntryBits = 24, .alphaBits = 0},
                             {.type = 1, .depth = 8, .mapEntryBits = 32},
                             {.type = 1, .depth = 16, .mapEntryBits = 24, .mapFirst = 300, .alphaBits = 0},
                             {.type = 3, .depth = 8, .alphaBits = 0},
                             {.type = 3, .depth = 16}};
  for (const TgaFormat& kind : kinds) {
    RgbaImage image = FewColourImage(7, 5);
    if (kind.type == 3) {  // grey, alpha through many values
      image = VariedImage(7, 5);
      for (std::size_t i = 0; i < image.rgba.size(); i += 4) image.rgba[i + 1] = image.rgba[i + 2] = image.rgba[i];
    }
    for (const int packets : {0, 1, 2}) {  // none, crossing rows, not crossing them
      for (const int origin : {0, 1, 2, 3}) {
        TgaFormat format = kind;
        format.type += packets ? 8 : 0;
        format.packetsCrossRows = packets == 1;
        format.topFirst = origin & 1;
        format.rightToLeft = origin & 2;
        format.imageId = origin == 3 ? "made by the tests" : "";
        format.footer = origin == 2;
        SCOPED_TRACE("type " + std::to_string(format.type) + ", " + std::to_string(format.depth) + " bits, packets " +
                     std::to_string(packets) + ", origin " + std::to_string(origin));
        const Read read = ReadTga(MakeTga(image, format));
        ASSERT_EQ(read.error, "");
        ExpectSameImage(read.image, Expected(image, format));
      }
    }
  }
}

// Rows come a chunk at a time: an image of several chunks reads the same from either
// end, also where the search for a non-zero alpha went through the whole file first.
TEST(TgaReader, AnImageOfManyChunksReadsTheSameInEitherOrder) {
  RgbaImage image = FewColourImage(301, 1100);
  RgbaImage alphaInLastRow = image;
  for (std::size_t i = 3; i + 301 * 4 < alphaInLastRow.rgba.size(); i += 4) alphaInLastRow.rgba[i] = 0;
  for (const RgbaImage* picture : {&image, &alphaInLastRow}) {
    for (const unsigned depth : {24u, 32u}) {
      for (const bool topFirst : {true, false}) {
        const TgaFormat format{.depth = depth, .alphaBits = depth == 32 ? 8u : 0u, .topFirst = topFirst};
        SCOPED_TRACE(std::to_string(depth) + "-bit, " + (topFirst ? "top" : "bottom") + " first" +
                     (picture == &image ? "" : ", alpha only in the last row"));
        const Read read = ReadTga(MakeTga(*picture, format));
        ASSERT_EQ(read.error, "");
        ExpectSameImage(read.image, Expected(*picture, format));
      }
    }
  }
}

Bytes Raw(std::initializer_list<int> values) {
  Bytes bytes;
  for (const int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
  return bytes;
}

// Bytes written as hexadecimal numbers between blanks.
Bytes Hex(const std::string& text) {
  std::istringstream in(text);
  Bytes bytes;
  for (unsigned value = 0; in >> std::hex >> value;) bytes.push_back(static_cast<std::uint8_t>(value));
  return bytes;
}

TEST(TgaReader, HandMadeFiles) {
  // 3 x 2, run-length colour-mapped, bottom row first; a map of three 16-bit entries
  // standing for indices 2 to 4 (red, transparent green, blue); a run of four pixels
  // that carries on from the bottom row into the top one.
  ExpectSameImage(ReadTga(Hex("0 1 9 2 0 3 0 10 0 0 0 0 3 0 2 0 8 1  0 fc e0 3 1f 80  83 3 1 2 4")).image,
                  {3, 2, Hex("0 ff 0 0  ff 0 0 ff  0 0 ff ff  0 ff 0 0  0 ff 0 0  0 ff 0 0")});
  // 2 x 2 grey, run-length, top row first, right to left: a run of three crosses the
  // first row's end.
  ExpectSameImage(ReadTga(Hex("0 0 b 0 0 0 0 0 0 0 0 0 2 0 2 0 8 30  82 40 0 90")).image,
                  {2, 2, Hex("40 40 40 ff  40 40 40 ff  90 90 90 ff  40 40 40 ff")});
  // 1 x 1 true-colour with an image ID and a colour map, both skipped.
  ExpectSameImage(ReadTga(Hex("3 1 2 0 0 2 0 18 0 0 0 0 1 0 1 0 18 0  61 62 63  9 9 9 8 8 8  1 2 3")).image,
                  {1, 1, Hex("3 2 1 ff")});
  // 2 x 1, 16-bit, one alpha bit: the attribute bit is the alpha; the top bits carry
  // 5-bit red, green, blue.
  ExpectSameImage(ReadTga(Hex("0 0 2 0 0 0 0 0 0 0 0 0 2 0 1 0 10 1  ff 7f 1f 80")).image,
                  {2, 1, Hex("ff ff ff 0  0 0 ff ff")});
}

TEST(TgaReader, AlphaIsReadOnlyWhereTheFileOffersAndUsesIt) {
  const struct {
    const char* what;
    TgaFormat format;
    std::vector<std::uint8_t> stored;
    std::vector<std::uint8_t> read;
  } cases[] = {
      {"32-bit with alpha bits", {}, {0, 17, 255, 128}, {0, 17, 255, 128}},
      {"32-bit without alpha bits", {.alphaBits = 0}, {0, 17, 255, 128}, {255, 255, 255, 255}},
      {"alpha 0 everywhere", {}, {0, 0, 0, 0}, {255, 255, 255, 255}},
      {"attributes: no alpha", {.attributesType = 0}, {0, 17, 255, 128}, {255, 255, 255, 255}},
      {"attributes: undefined, ignore", {.attributesType = 1}, {0, 17, 255, 128}, {255, 255, 255, 255}},
      {"attributes: undefined, retain", {.attributesType = 2}, {0, 17, 255, 128}, {255, 255, 255, 255}},
      {"attributes: useful alpha", {.attributesType = 3}, {0, 17, 255, 128}, {0, 17, 255, 128}},
      {"16-bit with an alpha bit", {.depth = 16, .alphaBits = 1}, {0, 200, 255, 3}, {0, 255, 255, 0}},
      {"16-bit without", {.depth = 16, .alphaBits = 0}, {0, 200, 255, 3}, {255, 255, 255, 255}},
      {"16-bit, attribute bits all 0", {.depth = 16, .alphaBits = 1}, {0, 3, 100, 0}, {255, 255, 255, 255}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RgbaImage image{4, 1, {}};
    for (const std::uint8_t alpha : c.stored) image.rgba.insert(image.rgba.end(), {40, 100, 7, alpha});
    const Read read = ReadTga(MakeTga(image, c.format));
    ASSERT_EQ(read.error, "");
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(read.image.rgba[4 * i + 3], c.read[i]) << "pixel " << i;
  }
}

TEST(TgaReader, PremultipliedColoursAreDividedBackByAlpha) {
  const RgbaImage stored{5, 1, Hex("64 32 0 c8  a 14 1e 0  ff ff ff ff  3 2 1 4  c8 0 0 64")};
  const Read read = ReadTga(MakeTga(stored, {.attributesType = 4}));
  ASSERT_EQ(read.error, "");
  ExpectSameImage(read.image, {5, 1, Hex("80 40 0 c8  a 14 1e 0  ff ff ff ff  bf 80 40 4  ff 0 0 64")});
}

Bytes Header(int idLength, int mapType, int type, int first, int length, int entryBits, int width, int height,
             int depth, int descriptor) {
  return Raw({idLength, mapType, type, first & 0xFF, first >> 8, length & 0xFF, length >> 8, entryBits, 0, 0, 0, 0,
              width & 0xFF, width >> 8, height & 0xFF, height >> 8, depth, descriptor});
}

Bytes Plus(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(TgaReader, MalformedFilesAreRefusedWithTheirFault) {
  const Bytes map3 = Raw({1, 1, 1, 2, 2, 2, 3, 3, 3});
  Bytes badExtension = Plus(Header(0, 0, 2, 0, 0, 0, 1, 1, 24, 0), Raw({1, 2, 3}));
  badExtension = Plus(badExtension, TgaFooter(4000));
  const struct {
    const char* what;
    Bytes file;
    std::string said;
  } cases[] = {
      {"shorter than a header", Raw({0, 0, 2, 0, 0}), "too short for a TGA: 5 bytes"},
      {"image type 0", Header(0, 0, 0, 0, 0, 0, 1, 1, 24, 0), "no image"},
      {"image type 32", Header(0, 0, 32, 0, 0, 0, 1, 1, 24, 0), "unsupported TGA image type 32"},
      {"colour-map type 2", Header(0, 2, 2, 0, 0, 0, 1, 1, 24, 0), "colour-map type 2"},
      {"mapped without a map", Header(0, 0, 1, 0, 0, 0, 1, 1, 8, 0), "without a colour map"},
      {"12-bit map entries", Plus(Header(0, 1, 1, 0, 1, 12, 1, 1, 8, 0), Raw({0, 0, 0})), "12 bits"},
      {"zero height", Header(0, 0, 2, 0, 0, 0, 4, 0, 24, 0), "4 x 0 pixels"},
      {"12-bit true colour", Plus(Header(0, 0, 2, 0, 0, 0, 1, 1, 12, 0), Raw({0, 0})), "12-bit pixels"},
      {"interleaved", Plus(Header(0, 0, 2, 0, 0, 0, 1, 1, 24, 0x40), Raw({0, 0, 0})), "interleaved"},
      {"image ID past the end", Plus(Header(200, 0, 2, 0, 0, 0, 1, 1, 24, 0), Raw({0, 0, 0})), "image ID"},
      {"map past the end", Plus(Header(0, 1, 1, 0, 256, 24, 1, 1, 8, 0), map3), "colour map ends at byte 786"},
      {"pixels cut short", Plus(Header(0, 0, 2, 0, 0, 0, 2, 2, 24, 0), Raw({1, 2, 3})),
       "pixels end at byte 30 of a 21 bytes file"},
      // 32,768 x 32,768 x 4 is 2^32: in 32 bits the pixels would take no bytes at all.
      {"pixel bytes past 32 bits", Plus(Header(0, 0, 2, 0, 0, 0, 32768, 32768, 32, 8), Raw({1, 2, 3, 4})),
       "end at byte 4,294,967,314"},
      {"65,535 x 65,535", Plus(Header(0, 0, 2, 0, 0, 0, 65535, 65535, 32, 8), Raw({1, 2, 3, 4})),
       "end at byte 17,179,344,918"},
      // 256 pixels need two packets of at least two bytes: the four bytes given pass for them.
      {"run-length data past the end", Plus(Header(0, 0, 11, 0, 0, 0, 256, 1, 8, 0x20), Raw({0xFF, 9, 0x7F, 1})),
       "run past the end of the file"},
      {"run-length data too short for the image",
       Plus(Header(0, 0, 10, 0, 0, 0, 28000, 28000, 24, 0x20), Raw({0xFF, 1, 2, 3})),
       "pixels take at least 24,500,000 bytes of run-length packets, and the file has 4 bytes"},
      {"run past the image", Plus(Header(0, 0, 10, 0, 0, 0, 2, 2, 24, 0), Raw({0x84, 1, 2, 3})),
       "packet at byte 18 holds 5 pixels where 4 are left"},
      {"raw packet past the image", Plus(Header(0, 0, 11, 0, 0, 0, 3, 1, 8, 0x20), Raw({0x81, 9, 0x01, 1, 2})),
       "packet at byte 20 holds 2 pixels where 1 are left"},
      {"index past the map", Plus(Plus(Header(0, 1, 1, 2, 3, 24, 2, 1, 8, 0), map3), Raw({2, 5})),
       "colour-map index 5 outside the TGA's map of entries 2 to 4"},
      {"index below the map", Plus(Plus(Header(0, 1, 9, 2, 3, 24, 2, 1, 8, 0), map3), Raw({0x01, 3, 1})),
       "colour-map index 1 outside"},
      {"extension area outside the file", badExtension, "extension area at byte 4,000"},
  };
  std::set<std::string> reasons;
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.what);
    const Read read = ReadTga(bad.file);
    EXPECT_NE(read.error.find(bad.said), std::string::npos) << read.error;
    reasons.insert(read.error);
  }
  EXPECT_EQ(reasons.size(), std::size(cases)) << "each fault has its own message";
}

// Every shorter piece of a file without a footer lacks some of its pixels.
TEST(TgaReader, AFileCutAnywhereIsRefused) {
  for (const TgaFormat& format :
       {TgaFormat{}, TgaFormat{.type = 10},
        TgaFormat{.type = 9, .depth = 8, .mapEntryBits = 32, .topFirst = true, .imageId = "id"}}) {
    SCOPED_TRACE(format.type);
    const Bytes whole = MakeTga(FewColourImage(6, 5), format);
    ASSERT_EQ(ReadTga(whole).error, "");
    for (std::size_t length = 0; length < whole.size(); ++length) {
      const Read read = ReadTga(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
      EXPECT_NE(read.error, "") << "cut to " << length << " bytes";
    }
  }
}

// Alphas of every kind: 0, 255, equal across a block, and anything.
RgbaImage Mottled(std::uint32_t width, std::uint32_t height, unsigned seed) {
  std::mt19937 random(seed);
  RgbaImage image{width, height, {}};
  for (std::size_t i = 0; i < std::size_t{width} * height; ++i) {
    for (int c = 0; c < 3; ++c) image.rgba.push_back(static_cast<std::uint8_t>(random()));
    const unsigned kind = random() % 4;
    image.rgba.push_back(kind == 0 ? 0 : kind == 1 ? 255 : kind == 2 ? 90 : static_cast<std::uint8_t>(random()));
  }
  return image;
}

// The header and every level, byte for byte as the tests' writer lays them out and
// averages what the reader read; a name too long for its field is cut to 127 characters.
TEST(M32Writer, WritesTheHeaderAndEveryLevelAsTheTestsWriterDoes) {
  const std::pair<std::uint32_t, std::uint32_t> sizes[] = {{1, 1}, {1, 9}, {9, 1},   {2, 2},  {3, 3},   {5, 7},
                                                           {7, 5}, {6, 3}, {33, 17}, {64, 1}, {203, 6}, {300, 20}};
  const TempDir folder;
  std::vector<std::string> arguments;
  std::vector<std::pair<std::string, RgbaImage>> read;
  for (const auto& [width, height] : sizes) {
    const std::string name =
        width == 300 ? std::string(130, 'n') : std::to_string(width) + "x" + std::to_string(height);
    const Bytes tga = MakeTga(Mottled(width, height, width * 100 + height), {});
    WriteBytes(folder / (name + ".tga"), tga);
    arguments.push_back(folder / (name + ".tga"));
    read.emplace_back(name, ReadTga(tga).image);
  }
  ASSERT_EQ(RunConverter(arguments).exitCode, 0);
  for (const auto& [name, image] : read) EXPECT_EQ(ReadBytes(folder / (name + ".m32")), EncodeM32(image, name)) << name;
  EXPECT_EQ(formats::LayOutM32(65535, 1).levels.size(), 16u);
  EXPECT_NE(formats::LayOutM32(30000, 30000).error.find("32-bit offsets"), std::string::npos);
  EXPECT_NE(formats::LayOutM32(65536, 1).error, "");
}

// The vectorised loop over 2 x 2 blocks gives, byte for byte, what averaging one block
// at a time in linear light gives: alphas all opaque, all clear, all equal or mixed.
TEST(M32Writer, LinearLightBlocksAverageAsOneAtATime) {
  std::mt19937 random(7);
  for (const std::uint32_t width : {2u, 3u, 18u, 67u, 1031u}) {
    SCOPED_TRACE(width);
    std::array<Bytes, 2> rows;
    for (Bytes& row : rows) {
      for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint8_t alphas[] = {255, 0, 128, std::uint8_t(random())};
        for (int c = 0; c < 3; ++c) row.push_back(std::uint8_t(random()));
        row.push_back(alphas[x / 4 % 4]);
      }
    }
    const std::array<const std::uint8_t*, 2> pointers{rows[0].data(), rows[1].data()};
    Bytes half(std::size_t{std::max(width / 2, 1u)} * 4), one(4);
    formats::HalveRows(pointers, width, half, formats::MipAverage::kLinear);
    for (std::uint32_t x = 0; x + 1 < width / 2; ++x) {
      formats::AverageInLinearLight(pointers, 2 * x, 2, one.data());
      EXPECT_EQ(Bytes(&half[4 * x], &half[4 * x + 4]), one) << x;
    }
  }
}

}  // namespace
