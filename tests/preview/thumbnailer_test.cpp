// The thumbnailer as a file manager runs it: `-s SIZE INPUT OUTPUT`, a PNG no larger than
// SIZE that keeps the texture's shape and looks like it, and for a damaged texture a
// reason on stderr and no PNG, with whatever was at OUTPUT left as it was.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>

#include "m32_files.h"
#include "support/support.h"

namespace {

using m32write::RgbaImage;
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

TEST(Thumbnailer, KeepsTheAspectRatioAndNeverEnlarges) {
  const struct {
    std::uint32_t width, height;
    int size;
    QSize expected;
  } cases[] = {
      {40, 200, 100, QSize(20, 100)},  // tall
      {300, 7, 128, QSize(128, 3)},    // wide, the short side rounded
      {1000, 1, 64, QSize(64, 1)},     // never below one pixel
      {33, 17, 128, QSize(33, 17)},    // already small enough
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.size);
    const TempDir folder;
    const RgbaImage texture = preview_testing::Varied(c.width, c.height);
    const ThumbnailerRun run = Thumbnail(folder, texture, c.size);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QImage png = ReadPng(folder);
    EXPECT_EQ(png.size(), c.expected);
    if (png.size() == QSize(33, 17)) {
      EXPECT_TRUE(preview_testing::PixelMatches(png.pixel(30, 15), texture, 30, 15)) << "kept exactly";
    }
  }
}

TEST(Thumbnailer, ADamagedTextureGetsAReasonAndNoPng) {
  const TempDir folder;
  const std::string output = folder / "thumbnail.png";
  testing_support::WriteFile(output, "earlier");
  for (const auto& damage : preview_testing::DamagedTextures()) {
    SCOPED_TRACE(damage.name);
    const std::string input = folder / (damage.name + ".m32");
    preview_testing::WriteBytes(input, damage.bytes);
    const ThumbnailerRun run = Thumbnail(
        {QStringLiteral("-s"), QStringLiteral("128"), QString::fromStdString(input), QString::fromStdString(output)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QString::fromStdString(input))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QString::fromStdString(damage.reason))) << run.err.toStdString();
  }
  QFile earlier(QString::fromStdString(output));
  ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
  EXPECT_EQ(earlier.readAll(), "earlier");
  EXPECT_EQ(folder.names().size(), preview_testing::DamagedTextures().size() + 1) << "no file left behind";
}

TEST(Thumbnailer, AWrongCommandLineIsRefusedWithItsUsage) {
  const TempDir folder;
  preview_testing::WriteM32(folder / "texture.m32", preview_testing::Varied(4, 4));
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
