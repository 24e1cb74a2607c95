// The image format plugin as a Qt program meets it: loaded from QT_PLUGIN_PATH, chosen
// by the file's suffix in any case or by its content, reading level 0's exact pixels
// (an m32's with its alpha, an m8's opaque through its palette), and refusing a damaged
// texture with no image and its reason in the log.
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
  EXPECT_EQ(QImageReader::imageFormatsForMimeType("image/x-m8"), QList<QByteArray>{"m8"});
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
  for (const char* name : {"wall.M8", "wall.texture8"}) WriteBytes(folder / name, FlatLevelsM8(19, 7));

  const QImage expected =
      QImage(texture.rgba.data(), 19, 7, QImage::Format_RGBA8888).convertToFormat(QImage::Format_ARGB32);
  QImage paletted(19, 7, QImage::Format_ARGB32);
  for (int at = 0; at < 19 * 7; ++at) paletted.setPixel(at % 19, at / 19, LevelColour(M8Index(at % 19, at / 19)));
  for (const std::string name : {"wall.M32", "wall.texture", "moved.m32", "wall.M8", "wall.texture8"}) {
    SCOPED_TRACE(name);
    const bool m8 = name.ends_with('8');
    QImageReader reader(Path(folder, name));
    EXPECT_EQ(reader.format(), m8 ? "m8" : "m32");
    EXPECT_EQ(reader.size(), QSize(19, 7)) << "known before the pixels are read";
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(image.hasAlphaChannel(), !m8);
    EXPECT_TRUE(image.convertToFormat(QImage::Format_ARGB32) == (m8 ? paletted : expected));
  }
  // Other formats are left to their own plugins.
  ASSERT_TRUE(expected.save(Path(folder, "picture"), "png"));
  EXPECT_EQ(QImageReader(Path(folder, "picture")).format(), "png");
}

// The damaged textures of every kind are the header check's tests; here one, as Qt meets it.
TEST(M32Plugin, RefusesADamagedTextureWithNoImageAndItsReasonInTheLog) {
  const TempDir folder;
  for (const bool m8 : {false, true}) {
    const QString path = Path(folder, m8 ? "damaged.m8" : "damaged.m32");
    WriteBytes(path.toStdString(), Truncated(m8));
    static QStringList log;
    log.clear();
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) { log << message; });
    QImageReader reader(path);
    EXPECT_TRUE(reader.read().isNull());
    qInstallMessageHandler(nullptr);
    EXPECT_EQ(reader.error(), QImageReader::InvalidDataError) << "known as a texture, refused as damaged";
    EXPECT_TRUE(log.join(' ').contains(path)) << log.join(' ').toStdString();
    EXPECT_TRUE(log.join(' ').contains(QStringLiteral("truncated"))) << log.join(' ').toStdString();
  }
}

}  // namespace
