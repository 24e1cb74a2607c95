// The TGA reader and the m32 writer on files made in memory: every type, depth and
// origin; the alpha rules; malformed files; and the mip levels against the tests' writer.
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "m32_writer.h"
#include "test_support.h"
#include "tga_reader.h"
#include "tga_to_m32.h"

namespace {

using namespace image_files;

struct Read {
  std::string error;
  RgbaImage image;
};

// Opens the file and reads every row, as the converter does.
Read ReadTga(const Bytes& file) {
  m32tga::MemorySource source(file);
  m32tga::TgaReader reader(source);
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

std::vector<TgaFormat> EveryKind() {
  std::vector<TgaFormat> formats;
  const auto add = [&](std::uint8_t type, unsigned depth, unsigned entryBits, unsigned alphaBits,
                       std::uint16_t first = 0) {
    for (const std::uint8_t t : {type, static_cast<std::uint8_t>(type + 8)}) {
      for (const bool cross : {true, false}) {
        if (!cross && t < 9) continue;
        TgaFormat format;
        format.type = t;
        format.depth = depth;
        format.mapEntryBits = entryBits;
        format.alphaBits = alphaBits;
        format.mapFirst = first;
        format.packetsCrossRows = cross;
        formats.push_back(format);
      }
    }
  };
  add(2, 15, 0, 0);
  add(2, 16, 0, 1);
  add(2, 24, 0, 0);
  add(2, 32, 0, 8);
  add(1, 8, 15, 0);
  add(1, 8, 16, 1, 5);
  add(1, 8, 24, 0);
  add(1, 8, 32, 8);
  add(1, 16, 24, 0, 300);
  add(3, 8, 0, 0);
  add(3, 16, 0, 8);
  return formats;
}

TEST(TgaReader, EveryTypeDepthAndOriginGivesTheSamePixels) {
  const std::vector<TgaFormat> kinds = EveryKind();
  for (std::size_t kind = 0; kind < kinds.size(); ++kind) {
    TgaFormat format = kinds[kind];
    for (const int origin : {0, 1, 2, 3}) {
      format.topFirst = origin & 1;
      format.rightToLeft = origin & 2;
      format.imageId = origin == 3 ? "made by the tests" : "";
      format.footer = origin == 2;
      SCOPED_TRACE("kind " + std::to_string(kind) + " of EveryKind, origin " + std::to_string(origin));
      const RgbaImage image = (format.type & 7) == 3 ? GreyImage(7, 5) : FewColourImage(7, 5);
      const Read read = ReadTga(MakeTga(image, format));
      ASSERT_EQ(read.error, "");
      ExpectSameImage(read.image, Expected(image, format));
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
        TgaFormat format;
        format.depth = depth;
        format.alphaBits = depth == 32 ? 8 : 0;
        format.topFirst = topFirst;
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

RgbaImage Image(std::uint32_t width, std::uint32_t height, std::initializer_list<int> rgba) {
  return {width, height, Raw(rgba)};
}

TEST(TgaReader, HandMadeFiles) {
  // 3 x 2, run-length colour-mapped, bottom row first; a map of three 16-bit entries
  // standing for indices 2 to 4 (red, transparent green, blue); a run of four pixels
  // that carries on from the bottom row into the top one.
  const Bytes mapped = Raw({0,    1,    9,    2,    0,    3,    0, 16, 0, 0, 0, 0, 3, 0, 2, 0, 8, 1,  //
                            0x00, 0xFC, 0xE0, 0x03, 0x1F, 0x80,                                       //
                            0x83, 3,    0x01, 2,    4});
  ExpectSameImage(ReadTga(mapped).image, Image(3, 2, {0, 255, 0, 0, 255, 0,   0, 255, 0, 0,   255, 255,  //
                                                      0, 255, 0, 0, 0,   255, 0, 0,   0, 255, 0,   0}));
  // 2 x 2 grey, run-length, top row first, right to left: a run of three crosses the
  // first row's end.
  const Bytes grey = Raw({0,    0,    11,   0,   0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 8, 0x30,  //
                          0x82, 0x40, 0x00, 0x90});
  ExpectSameImage(ReadTga(grey).image, Image(2, 2,
                                             {64, 64, 64, 255, 64, 64, 64, 255,  //
                                              144, 144, 144, 255, 64, 64, 64, 255}));
  // 1 x 1 true-colour with an image ID and a colour map, both skipped.
  const Bytes skipped = Raw({3,   1,   2,   0, 0, 2, 0, 24, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0,  //
                             'a', 'b', 'c', 9, 9, 9, 8, 8,  8,                              //
                             1,   2,   3});
  ExpectSameImage(ReadTga(skipped).image, Image(1, 1, {3, 2, 1, 255}));
  // 2 x 1, 16-bit, one alpha bit: the attribute bit is the alpha; the top bits carry
  // 5-bit red, green, blue.
  const Bytes sixteen = Raw({0,    0,    2,    0,   0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 16, 1,  //
                             0xFF, 0x7F, 0x1F, 0x80});
  ExpectSameImage(ReadTga(sixteen).image, Image(2, 1, {255, 255, 255, 0, 0, 0, 255, 255}));
}

RgbaImage WithAlpha(std::initializer_list<int> alphas) {
  RgbaImage image{static_cast<std::uint32_t>(alphas.size()), 1, {}};
  int i = 0;
  for (const int a : alphas) {
    image.rgba.insert(image.rgba.end(), {static_cast<std::uint8_t>(40 + 20 * i), static_cast<std::uint8_t>(100 - i),
                                         static_cast<std::uint8_t>(7 * i), static_cast<std::uint8_t>(a)});
    ++i;
  }
  return image;
}

std::vector<int> Alphas(const RgbaImage& image) {
  std::vector<int> alphas;
  for (std::size_t i = 3; i < image.rgba.size(); i += 4) alphas.push_back(image.rgba[i]);
  return alphas;
}

TEST(TgaReader, AlphaIsReadOnlyWhereTheFileOffersAndUsesIt) {
  struct Case {
    const char* what;
    unsigned depth;
    unsigned alphaBits;
    std::optional<std::uint8_t> attributes;
    RgbaImage image;
    std::vector<int> alphas;
  };
  const Case cases[] = {
      {"32-bit with alpha bits", 32, 8, std::nullopt, WithAlpha({0, 17, 255, 128}), {0, 17, 255, 128}},
      {"32-bit without alpha bits", 32, 0, std::nullopt, WithAlpha({0, 17, 255, 128}), {255, 255, 255, 255}},
      {"alpha 0 everywhere", 32, 8, std::nullopt, WithAlpha({0, 0, 0, 0}), {255, 255, 255, 255}},
      {"attributes: no alpha", 32, 8, 0, WithAlpha({0, 17, 255, 128}), {255, 255, 255, 255}},
      {"attributes: undefined, ignore", 32, 8, 1, WithAlpha({0, 17, 255, 128}), {255, 255, 255, 255}},
      {"attributes: undefined, retain", 32, 8, 2, WithAlpha({0, 17, 255, 128}), {255, 255, 255, 255}},
      {"attributes: useful alpha", 32, 8, 3, WithAlpha({0, 17, 255, 128}), {0, 17, 255, 128}},
      {"16-bit with an alpha bit", 16, 1, std::nullopt, WithAlpha({0, 200, 255, 3}), {0, 255, 255, 0}},
      {"16-bit without", 16, 0, std::nullopt, WithAlpha({0, 200, 255, 3}), {255, 255, 255, 255}},
      {"16-bit, attribute bits all 0", 16, 1, std::nullopt, WithAlpha({0, 3, 100, 0}), {255, 255, 255, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TgaFormat format;
    format.depth = c.depth;
    format.alphaBits = c.alphaBits;
    format.attributesType = c.attributes;
    const Read read = ReadTga(MakeTga(c.image, format));
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(Alphas(read.image), c.alphas);
  }
}

TEST(TgaReader, PremultipliedColoursAreDividedBackByAlpha) {
  TgaFormat format;
  format.attributesType = 4;
  const Read read = ReadTga(
      MakeTga(Image(5, 1, {100, 50, 0, 200, 10, 20, 30, 0, 255, 255, 255, 255, 3, 2, 1, 4, 200, 0, 0, 100}), format));
  ASSERT_EQ(read.error, "");
  ExpectSameImage(read.image,
                  Image(5, 1, {128, 64, 0, 200, 10, 20, 30, 0, 255, 255, 255, 255, 191, 128, 64, 4, 255, 0, 0, 100}));
}

struct Broken {
  const char* what;
  Bytes file;
  std::string said;
};

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
  const Broken cases[] = {
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
  for (const Broken& bad : cases) {
    SCOPED_TRACE(bad.what);
    const Read read = ReadTga(bad.file);
    EXPECT_NE(read.error.find(bad.said), std::string::npos) << read.error;
    reasons.insert(read.error);
  }
  EXPECT_EQ(reasons.size(), std::size(cases)) << "each fault has its own message";
}

// Every shorter piece of a file without a footer lacks some of its pixels.
TEST(TgaReader, AFileCutAnywhereIsRefused) {
  TgaFormat plain;
  TgaFormat packets;
  packets.type = 10;
  TgaFormat mappedTopFirst;
  mappedTopFirst.type = 9;
  mappedTopFirst.depth = 8;
  mappedTopFirst.mapEntryBits = 32;
  mappedTopFirst.topFirst = true;
  mappedTopFirst.imageId = "id";
  for (const TgaFormat& format : {plain, packets, mappedTopFirst}) {
    SCOPED_TRACE(format.type);
    const Bytes whole = MakeTga(FewColourImage(6, 5), format);
    ASSERT_EQ(ReadTga(whole).error, "");
    for (std::size_t length = 0; length < whole.size(); ++length) {
      const Read read = ReadTga(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
      EXPECT_NE(read.error, "") << "cut to " << length << " bytes";
    }
  }
}

class MemorySink final : public m32tga::PositionedSink {
 public:
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    if (bytes_.size() < offset + bytes.size()) bytes_.resize(offset + bytes.size());
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
  }
  Bytes bytes_;
};

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
// averages them; a name too long for its field is cut to 127 characters.
TEST(M32Writer, WritesTheHeaderAndEveryLevelAsTheTestsWriterDoes) {
  const std::pair<std::uint32_t, std::uint32_t> sizes[] = {{1, 1}, {1, 9}, {9, 1},   {2, 2},  {3, 3},   {5, 7},
                                                           {7, 5}, {6, 3}, {33, 17}, {64, 1}, {203, 6}, {300, 20}};
  for (const auto& [width, height] : sizes) {
    SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
    const RgbaImage image = Mottled(width, height, width * 100 + height);
    const std::string name(width == 300 ? 200 : 9, 'n');
    const m32tga::M32Layout layout = m32tga::LayOutM32(width, height);
    ASSERT_EQ(layout.error, "");
    MemorySink sink;
    m32tga::M32Writer writer(layout, sink);
    const std::size_t rowBytes = std::size_t{width} * 4;
    for (std::uint32_t y = 0; y < height; ++y) {
      ASSERT_TRUE(writer.AddRow(std::span(image.rgba).subspan(y * rowBytes, rowBytes)));
    }
    ASSERT_TRUE(writer.Finish());
    EXPECT_FALSE(writer.AddRow(std::span(image.rgba).first(rowBytes))) << "a row past the last";
    ASSERT_EQ(sink.bytes_.size(), layout.fileSize);
    m32tga::M32Header header = m32tga::DefaultM32Header(name);
    m32tga::PutLevels(layout, header);
    Bytes file(header.begin(), header.end());
    file.insert(file.end(), sink.bytes_.begin() + kHeaderBytes, sink.bytes_.end());
    EXPECT_EQ(file, EncodeM32(image, name));
  }
  EXPECT_EQ(m32tga::LayOutM32(65535, 1).levels.size(), 16u);
  EXPECT_NE(m32tga::LayOutM32(30000, 30000).error.find("32-bit offsets"), std::string::npos);
  EXPECT_NE(m32tga::LayOutM32(65536, 1).error, "");
}

}  // namespace
