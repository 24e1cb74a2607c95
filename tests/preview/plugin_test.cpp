// The image format plugin as a Qt program meets it: loaded from QT_PLUGIN_PATH, chosen
// by the file's suffix in any case or by its content, reading level 0's exact pixels
// and alpha, and refusing a damaged texture with no image and its reason in the log.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include "m32_files.h"
#include "support/support.h"

namespace {

using namespace preview_testing;
using testing_support::TempDir;

QString Path(const TempDir& folder, const std::string& name) { return QString::fromStdString(folder / name); }

TEST(M32Plugin, ReadsLevel0ExactlyWithItsAlphaByTheSuffixOrTheContentWhereverItsOffsetPutsItAndNoOtherFormat) {
  EXPECT_EQ(QImageReader::imageFormatsForMimeType("image/x-m32"), QList<QByteArray>{"m32"});
  const TempDir folder;
  const RgbaImage texture = VariedImage(19, 7);
  WriteBytes(folder / "wall.M32", EncodeM32(texture, "textures/test/wall"));
  WriteBytes(folder / "wall.texture", EncodeM32(texture, "textures/test/wall"));
  // Level 0 moved to the end of the file, after every mip level.
  Bytes moved = EncodeM32(texture, "textures/test/wall");
  PutU32(moved, kOffsetsAt, static_cast<std::uint32_t>(moved.size()));
  moved.insert(moved.end(), texture.rgba.begin(), texture.rgba.end());
  std::fill(moved.begin() + kHeaderBytes, moved.begin() + kHeaderBytes + texture.rgba.size(), 0);
  WriteBytes(folder / "moved.m32", moved);

  const QImage expected(texture.rgba.data(), 19, 7, QImage::Format_RGBA8888);
  for (const char* name : {"wall.M32", "wall.texture", "moved.m32"}) {
    SCOPED_TRACE(name);
    QImageReader reader(Path(folder, name));
    EXPECT_EQ(reader.format(), "m32");
    EXPECT_EQ(reader.size(), QSize(19, 7)) << "known before the pixels are read";
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
    EXPECT_TRUE(image.hasAlphaChannel());
    EXPECT_TRUE(image.convertToFormat(QImage::Format_RGBA8888) == expected);
  }
  // Other formats are left to their own plugins.
  ASSERT_TRUE(expected.save(Path(folder, "picture"), "png"));
  EXPECT_EQ(QImageReader(Path(folder, "picture")).format(), "png");
}

// The damaged textures of every kind are the header check's tests; here one, as Qt meets it.
TEST(M32Plugin, RefusesADamagedTextureWithNoImageAndItsReasonInTheLog) {
  const TempDir folder;
  const QString path = Path(folder, "damaged.m32");
  WriteBytes(path.toStdString(), Truncated());
  static QStringList log;
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) { log << message; });
  QImageReader reader(path);
  EXPECT_TRUE(reader.read().isNull());
  qInstallMessageHandler(nullptr);
  EXPECT_EQ(reader.error(), QImageReader::InvalidDataError) << "known as m32, refused as damaged";
  EXPECT_TRUE(log.join(' ').contains(path)) << log.join(' ').toStdString();
  EXPECT_TRUE(log.join(' ').contains(QStringLiteral("truncated"))) << log.join(' ').toStdString();
}

}  // namespace
