// The thumbnailer as a file manager runs it: `-s SIZE INPUT OUTPUT`, a PNG no larger than
// SIZE that keeps the texture's shape and looks like it, and for a damaged texture or a
// pipe a reason on stderr and no PNG, with whatever was at OUTPUT left as it was. With the
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

using image_files::RgbaImage;
using testing_support::TempDir;

struct ThumbnailerRun {
  int exitCode = -1;
  QString err;
};

ThumbnailerRun Thumbnail(const QStringList& arguments) {
  QProcess thumbnailer;
  thumbnailer.start(QStringLiteral(PELLICAR_THUMBNAILER), arguments);
  thumbnailer.waitForFinished();
  return {thumbnailer.exitStatus() == QProcess::NormalExit ? thumbnailer.exitCode() : -1,
          QString::fromUtf8(thumbnailer.readAllStandardError())};
}

ThumbnailerRun Thumbnail(const TempDir& folder, const RgbaImage& texture, int size) {
  preview_testing::WriteM32(folder / "texture.m32", texture);
  return Thumbnail({QStringLiteral("-s"), QString::number(size), QString::fromStdString(folder / "texture.m32"),
                    QString::fromStdString(folder / "thumbnail.png")});
}

QImage ReadPng(const TempDir& folder) { return QImage(QString::fromStdString(folder / "thumbnail.png"), "png"); }

TEST(Thumbnailer, ShrinksTheTextureToTheAskedSizeAndKeepsItsLook) {
  const TempDir folder;
  const RgbaImage texture = preview_testing::Quarters(256, 128);
  const ThumbnailerRun run = Thumbnail(folder, texture, 64);
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  const QImage png = ReadPng(folder);
  ASSERT_EQ(png.size(), QSize(64, 32));
  // The middle of each quarter: its colour and alpha, where they were in the texture.
  for (const auto& [x, y] : {std::pair{16, 8}, {48, 8}, {16, 24}, {48, 24}}) {
    EXPECT_TRUE(preview_testing::PixelMatches(png.pixel(x, y), texture, x * 4, y * 4, 2))
        << "at " << x << "," << y << ": " << std::hex << png.pixel(x, y);
  }
}

// Each level a flat colour of its own, so the picture shows the level read: the smallest
// sound one at least as large as asked (by the thumbnailer on its longer side, by the
// plugin's scaled size on each side), scaled to the size asked, keeping the texture's shape.
TEST(Previews, ReadTheSmallestSoundLevelLargeEnoughAndScaleIt) {
  using image_files::kOffsetsAt, image_files::kWidthsAt, image_files::kHeightsAt;
  constexpr std::size_t kLevel2 = 2 * 4, kLevel3 = 3 * 4;  // within each array of the header
  constexpr std::uint32_t kPastTheEnd = 0xFFFFFFFF;
  const struct {
    std::uint32_t width = 64, height = 32;  // levels 64x32, 32x16, 16x8, 8x4, 4x2, 2x1, 1x1
    int side = 0;                           // the thumbnailer's -s, else the plugin's scaled size
    QSize asked{};
    QSize thumbnail{};
    std::vector<std::pair<std::size_t, std::uint32_t>> damage{};  // header fields changed
    std::size_t cut = 0;                                          // bytes cut from the end
    std::size_t level = 0;
  } cases[] = {
      {.asked = {32, 16}, .level = 1},
      {.asked = {16, 9}, .level = 1},  // both sides count
      {.asked = {1, 1}, .level = 6},
      {.asked = {100, 40}, .level = 0},
      {.asked = {16, 8}, .damage = {{kOffsetsAt + kLevel2, kPastTheEnd}}, .level = 1},
      {.asked = {4, 2}, .damage = {{kOffsetsAt + kLevel2, kPastTheEnd}}, .level = 4},
      // Wider than level 1, over level 0's pixels: inside the file, but not a smaller level.
      {.asked = {16, 8},
       .damage = {{kWidthsAt + kLevel2, 64}, {kOffsetsAt + kLevel2, image_files::kHeaderBytes}},
       .level = 1},
      {.asked = {1, 1}, .cut = 1, .level = 5},
      {.side = 16, .thumbnail = {16, 8}, .level = 2},
      {.side = 20, .thumbnail = {20, 10}, .level = 1},
      {.side = 16, .thumbnail = {16, 8}, .damage = {{kOffsetsAt + kLevel2, kPastTheEnd}}, .level = 1},
      {.side = 1, .thumbnail = {1, 1}, .damage = {{kHeightsAt + kLevel3, 0}}, .level = 2},  // the chain ends
      {.width = 40, .height = 200, .side = 100, .thumbnail = {20, 100}, .level = 1},
      {.width = 300, .height = 7, .side = 128, .thumbnail = {128, 3}, .level = 1},  // the short side rounded
      {.width = 1000, .height = 1, .side = 64, .thumbnail = {64, 1}, .level = 3},   // never below one pixel
      {.width = 33, .height = 17, .side = 128, .thumbnail = {33, 17}, .level = 0},  // already small enough
  };
  const TempDir folder;
  const QString input = QString::fromStdString(folder / "levels.m32");
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " -s " << c.side << " scaled to "
                                    << c.asked.width() << "x" << c.asked.height() << ", " << c.damage.size()
                                    << " fields damaged, " << c.cut << " bytes cut");
    std::vector<std::uint8_t> bytes = preview_testing::FlatLevels(c.width, c.height);
    for (const auto& [at, value] : c.damage) image_files::PutU32(bytes, at, value);
    bytes.resize(bytes.size() - c.cut);
    image_files::WriteBytes(input.toStdString(), bytes);
    QImage image;
    if (c.side > 0) {
      const ThumbnailerRun run = Thumbnail(
          {QStringLiteral("-s"), QString::number(c.side), input, QString::fromStdString(folder / "thumbnail.png")});
      ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
      image = ReadPng(folder);
    } else {
      QImageReader reader(input);
      reader.setScaledSize(c.asked);
      image = reader.read();
    }
    EXPECT_EQ(image.size(), c.side > 0 ? c.thumbnail : c.asked);
    QImage level(image.size(), QImage::Format_ARGB32);
    level.fill(preview_testing::LevelColour(c.level));
    EXPECT_EQ(image.convertToFormat(QImage::Format_ARGB32), level)
        << "level " << c.level << " is " << std::hex << level.pixel(0, 0) << ", seen " << image.pixel(0, 0);
  }
}

TEST(Thumbnailer, ADamagedTextureOrAPipeGetsAReasonAndNoPng) {
  const TempDir folder;
  const std::string output = folder / "thumbnail.png";
  testing_support::WriteFile(output, "earlier");
  image_files::WriteBytes(folder / "damaged.m32", preview_testing::Truncated());
  // Opened with no writer, a named pipe would keep a reader waiting for ever.
  ASSERT_EQ(mkfifo((folder / "pipe.m32").c_str(), 0600), 0);
  for (const auto& [name, reason] : {std::pair{"damaged.m32", "truncated"}, {"pipe.m32", "not a regular file"}}) {
    const std::string input = folder / name;
    const ThumbnailerRun run = Thumbnail(
        {QStringLiteral("-s"), QStringLiteral("128"), QString::fromStdString(input), QString::fromStdString(output)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QString::fromStdString(input))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QString::fromUtf8(reason))) << run.err.toStdString();
  }
  EXPECT_EQ(image_files::ReadBytes(output), (image_files::Bytes{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
  EXPECT_EQ(folder.names().size(), 3u) << "no file left behind";
}

TEST(Thumbnailer, AWrongCommandLineIsRefusedWithItsUsage) {
  const TempDir folder;
  preview_testing::WriteM32(folder / "texture.m32", image_files::VariedImage(4, 4));
  const QString input = QString::fromStdString(folder / "texture.m32");
  const QString output = QString::fromStdString(folder / "out.png");
  for (const QStringList& arguments :
       {QStringList{input, output}, QStringList{"-s", "0", input, output}, QStringList{"-s", "big", input, output},
        QStringList{"-x", "64", input, output}}) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    const ThumbnailerRun run = Thumbnail(arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.startsWith("Usage: pellicar-thumbnailer")) << run.err.toStdString();
  }
  EXPECT_FALSE(QFile::exists(output));
}

}  // namespace
