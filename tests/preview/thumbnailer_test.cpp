// The thumbnailer as a file manager runs it: `-s SIZE INPUT OUTPUT`, a PNG no larger than
// SIZE that keeps the texture's shape and its pixels, and for a damaged texture, a
// pipe, an output that is the texture or a wrong command line a reason on stderr and no
// PNG, with whatever was at OUTPUT, and the texture, left as they were. With the
// plugin's scaled size, which mip level both read.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>

#include "m32_files.h"
#include "support/support.h"

namespace {

using namespace preview_testing;
using testing_support::TempDir;

// The exit code (-1 for a crash) and what it wrote to stderr.
std::pair<int, QString> Thumbnail(const QStringList& arguments) {
  QProcess thumbnailer;
  thumbnailer.start(QStringLiteral(PELLICAR_THUMBNAILER), arguments);
  thumbnailer.waitForFinished();
  return {thumbnailer.exitStatus() == QProcess::NormalExit ? thumbnailer.exitCode() : -1,
          QString::fromUtf8(thumbnailer.readAllStandardError())};
}

// Each level a flat colour of its own, so the picture shows the level read: the smallest
// sound one at least as large as asked (by the thumbnailer on its longer side, by the
// plugin's scaled size on each side), scaled to the size asked, keeping the texture's shape.
// Of a texture with level 0 alone and four coloured quarters, the quarters. An m8 by the
// same rule, its level's index through its palette.
TEST(Previews, ReadTheSmallestSoundLevelLargeEnoughAndScaleIt) {
  constexpr std::size_t kLevel2 = 2 * 4, kLevel3 = 3 * 4;  // within each array of the header
  constexpr std::uint32_t kPastTheEnd = 0xFFFFFFFF;
  const struct {
    std::uint32_t width = 64, height = 32;  // levels 64x32, 32x16, 16x8, 8x4, 4x2, 2x1, 1x1
    int side = 0;                           // the thumbnailer's -s; none: the plugin is asked for `size`
    QSize size{};                           // the picture's
    std::vector<std::pair<std::size_t, std::uint32_t>> damage{};  // header fields changed
    std::size_t cut = 0;                                          // bytes cut from the end
    std::size_t level = 0;
    bool quarters = false;  // Quarters(width, height), level 0 alone
    bool m8 = false;        // FlatLevelsM8, levels 1 and smaller only
  } cases[] = {
      {.size = {32, 16}, .level = 1},
      {.size = {16, 9}, .level = 1},  // both sides count
      {.size = {1, 1}, .level = 6},
      {.size = {100, 40}, .level = 0},
      {.size = {16, 8}, .damage = {{kOffsetsAt + kLevel2, kPastTheEnd}}, .level = 1},
      {.size = {4, 2}, .damage = {{kOffsetsAt + kLevel2, kPastTheEnd}}, .level = 4},
      // Wider than level 1, over level 0's pixels: inside the file, but not a smaller level.
      {.size = {16, 8}, .damage = {{kWidthsAt + kLevel2, 64}, {kOffsetsAt + kLevel2, kHeaderBytes}}, .level = 1},
      {.size = {1, 1}, .cut = 1, .level = 5},
      {.side = 16, .size = {16, 8}, .level = 2},
      {.side = 20, .size = {20, 10}, .level = 1},
      {.side = 16, .size = {16, 8}, .damage = {{kOffsetsAt + kLevel2, kPastTheEnd}}, .level = 1},
      {.side = 1, .size = {1, 1}, .damage = {{kHeightsAt + kLevel3, 0}}, .level = 2},  // the chain ends
      {.width = 40, .height = 200, .side = 100, .size = {20, 100}, .level = 1},
      {.width = 300, .height = 7, .side = 128, .size = {128, 3}, .level = 1},  // the short side rounded
      {.width = 1000, .height = 1, .side = 64, .size = {64, 1}, .level = 3},   // never below one pixel
      {.width = 33, .height = 17, .side = 128, .size = {33, 17}, .level = 0},  // already small enough
      {.size = {4, 2}, .quarters = true},
      {.size = {6, 3}, .quarters = true},
      {.width = 1000, .height = 600, .side = 10, .size = {10, 6}, .quarters = true},
      {.size = {1, 1}, .cut = 1, .level = 5, .m8 = true},
      {.side = 16, .size = {16, 8}, .level = 2, .m8 = true},
      {.width = 1000, .height = 1, .side = 64, .size = {64, 1}, .level = 3, .m8 = true},
  };
  const TempDir folder;
  const QString output = QString::fromStdString(folder / "thumbnail.png");
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    const QString input = QString::fromStdString(folder / (c.m8 ? "levels.m8" : "levels.m32"));
    Bytes bytes = c.quarters ? Level0Only(EncodeM32(Quarters(c.width, c.height), "q"))
                  : c.m8     ? FlatLevelsM8(c.width, c.height)
                             : FlatLevels(c.width, c.height);
    for (const auto& [at, value] : c.damage) PutU32(bytes, at, value);
    bytes.resize(bytes.size() - c.cut);
    WriteBytes(input.toStdString(), bytes);
    QImage image;
    if (c.side > 0) {
      const auto [exitCode, err] = Thumbnail({"-s", QString::number(c.side), input, output});
      ASSERT_EQ(exitCode, 0) << err.toStdString();
      image = QImage(output, "png");
    } else {
      QImageReader reader(input);
      reader.setScaledSize(c.size);
      image = reader.read();
    }
    EXPECT_EQ(image.size(), c.size);
    QImage level(image.size(), QImage::Format_ARGB32);
    level.fill(LevelColour(c.level));
    const RgbaImage quarters = Quarters(c.size.width(), c.size.height());
    if (c.quarters) level = QImage(quarters.rgba.data(), c.size.width(), c.size.height(), QImage::Format_RGBA8888);
    level = level.convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(image.convertToFormat(QImage::Format_ARGB32), level)
        << "level " << c.level << " is " << std::hex << level.pixel(0, 0) << ", seen " << image.pixel(0, 0);
  }
}

// Refusals first, each leaving the earlier output and the texture as they were; then a
// thumbnail made of the texture.
TEST(Thumbnailer, RefusesADamagedTextureAPipeTheTextureAsOutputOrAWrongCommandLineThenWritesTheLevel) {
  const TempDir folder;
  const auto path = [&](const char* name) { return QString::fromStdString(folder / name); };
  const QString texture = path("texture.m32"), damaged = path("damaged.m32"), pipe = path("pipe.m32");
  const QString damagedM8 = path("damaged.m8");
  const QString output = path("thumbnail.png");
  testing_support::WriteFile(output.toStdString(), "earlier");
  const RgbaImage varied = VariedImage(4, 4);
  WriteBytes(texture.toStdString(), EncodeM32(varied, "textures/test/varied"));
  WriteBytes(damaged.toStdString(), Truncated());
  WriteBytes(damagedM8.toStdString(), Truncated(true));
  // Opened with no writer, a named pipe would keep a reader waiting for ever.
  ASSERT_EQ(mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
  const QString link = path("link.png");
  ASSERT_TRUE(QFile::link(texture, link));
  const QString usage = QStringLiteral("Usage: pellicar-thumbnailer");
  const struct {
    QStringList arguments;
    int exitCode;
    QString reason;  // after the input's name; the usage at the start
  } cases[] = {
      {{"-s", "128", damaged, output}, 1, "truncated"},
      {{"-s", "128", damagedM8, output}, 1, "truncated"},
      {{"-s", "128", pipe, output}, 1, "not a regular file"},
      {{"-s", "128", texture, texture}, 1, "is the texture itself"},
      {{"-s", "128", texture, path(".//texture.m32")}, 1, "is the texture itself"},
      {{"-s", "128", texture, link}, 1, "is the texture itself"},
      {{"-s", "128", pipe, pipe}, 1, "is the texture itself"},
      {{"-s", "128", texture, pipe}, 1, "not a regular file"},
      {{texture, output}, 2, usage},
      {{"-s", "0", texture, output}, 2, usage},
      {{"-s", "big", texture, output}, 2, usage},
      {{"-x", "64", texture, output}, 2, usage},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const auto [exitCode, err] = Thumbnail(c.arguments);
    EXPECT_EQ(exitCode, c.exitCode);
    const bool named = c.exitCode == 2 ? err.startsWith(usage) : err.contains(c.arguments[2] + ": ");
    EXPECT_TRUE(named && err.contains(c.reason)) << err.toStdString();
  }
  EXPECT_EQ(ReadBytes(output.toStdString()), (Bytes{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
  EXPECT_EQ(folder.names().size(), 6u) << "no file left behind";

  // Level 1 as it is in the texture, every colour and alpha where it was.
  ASSERT_EQ(Thumbnail({"-s", "2", texture, output}).first, 0);
  const RgbaImage level1 = HalfSize(varied);
  EXPECT_TRUE(QImage(output, "png").convertToFormat(QImage::Format_RGBA8888) ==
              QImage(level1.rgba.data(), 2, 2, QImage::Format_RGBA8888));
}

}  // namespace
