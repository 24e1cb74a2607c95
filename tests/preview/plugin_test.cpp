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
  WriteBytes(folder / "wall.M8", FlatLevelsM8(19, 7));
  WriteBytes(folder / "wall.texture8", FlatLevelsM8(19, 7));

  const QImage expected =
      QImage(texture.rgba.data(), 19, 7, QImage::Format_RGBA8888).convertToFormat(QImage::Format_ARGB32);
  QImage paletted(19, 7, QImage::Format_ARGB32);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 19; ++x) paletted.setPixel(x, y, LevelColour(M8Index(x, y)));
  }
  const struct {
    const char* name;
    const char* format;
    const QImage& expected;
  } files[] = {{"wall.M32", "m32", expected},
               {"wall.texture", "m32", expected},
               {"moved.m32", "m32", expected},
               {"wall.M8", "m8", paletted},
               {"wall.texture8", "m8", paletted}};
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    QImageReader reader(Path(folder, file.name));
    EXPECT_EQ(reader.format(), file.format);
    EXPECT_EQ(reader.size(), QSize(19, 7)) << "known before the pixels are read";
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(image.hasAlphaChannel(), file.format == std::string_view("m32"));
    EXPECT_TRUE(image.convertToFormat(QImage::Format_ARGB32) == file.expected);
  }
  // Other formats are left to their own plugins.
  ASSERT_TRUE(expected.save(Path(folder, "picture"), "png"));
  EXPECT_EQ(QImageReader(Path(folder, "picture")).format(), "png");
}

// The damaged textures of every kind are the header check's tests; here one, as Qt meets it.
TEST(M32Plugin, RefusesADamagedTextureWithNoImageAndItsReasonInTheLog) {
  const TempDir folder;
  for (const auto& [name, bytes] : {std::pair("damaged.m32", Truncated()), std::pair("damaged.m8", TruncatedM8())}) {
    const QString path = Path(folder, name);
    WriteBytes(path.toStdString(), bytes);
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
