// The image format plugin as a Qt program meets it: loaded from QT_PLUGIN_PATH, chosen
// by the file's suffix in any case or by its content, reading level 0's exact pixels
// and alpha, and refusing a damaged texture with no image and its reason in the log.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>

#include "m32_files.h"
#include "support/support.h"

namespace {

using image_files::RgbaImage;
using image_files::VariedImage;
using testing_support::TempDir;

// Every pixel must match the texture's exactly.
int WrongPixels(const QImage& image, const RgbaImage& texture) {
  return preview_testing::WrongPixels(
      texture, [&](std::uint32_t x, std::uint32_t y) { return image.pixel(static_cast<int>(x), static_cast<int>(y)); });
}

QString Path(const TempDir& folder, const std::string& name) { return QString::fromStdString(folder / name); }

// What Qt logs while the object lives.
class LogCapture {
 public:
  LogCapture() { previous_ = qInstallMessageHandler(&LogCapture::Keep); }
  ~LogCapture() {
    qInstallMessageHandler(previous_);
    messages_.clear();
  }
  QString Text() const { return messages_.join(QLatin1Char('\n')); }

 private:
  static void Keep(QtMsgType, const QMessageLogContext&, const QString& message) { messages_ << message; }
  static inline QStringList messages_;
  QtMessageHandler previous_ = nullptr;
};

TEST(M32Plugin, IsLoadedFromQtPluginPathForTheM32FormatAndType) {
  EXPECT_TRUE(QImageReader::supportedImageFormats().contains("m32"));
  EXPECT_TRUE(QImageReader::supportedMimeTypes().contains("image/x-m32"));
  EXPECT_EQ(QImageReader::imageFormatsForMimeType("image/x-m32"), QList<QByteArray>{"m32"});
}

TEST(M32Plugin, ReadsLevel0ExactlyWithItsAlpha) {
  const TempDir folder;
  const RgbaImage texture = VariedImage(19, 7);
  preview_testing::WriteM32(folder / "wall.M32", texture);
  preview_testing::WriteM32(folder / "wall.texture", texture);

  for (const char* name : {"wall.M32", "wall.texture"}) {  // by suffix, then by content
    SCOPED_TRACE(name);
    QImageReader reader(Path(folder, name));
    EXPECT_EQ(reader.format(), "m32");
    EXPECT_EQ(reader.size(), QSize(19, 7)) << "known before the pixels are read";
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
    ASSERT_EQ(image.size(), QSize(19, 7));
    EXPECT_TRUE(image.hasAlphaChannel());
    EXPECT_EQ(WrongPixels(image, texture), 0);
  }
}

TEST(M32Plugin, ReadsLevel0WhereverItsOffsetPutsIt) {
  // Level 0 moved to the end of the file, after every mip level.
  const RgbaImage texture = VariedImage(9, 4);
  image_files::Bytes bytes = preview_testing::M32Bytes(texture);
  const auto movedTo = static_cast<std::uint32_t>(bytes.size());
  bytes.insert(bytes.end(), texture.rgba.begin(), texture.rgba.end());
  std::fill(bytes.begin() + image_files::kHeaderBytes, bytes.begin() + image_files::kHeaderBytes + 9 * 4 * 4, 0);
  image_files::PutU32(bytes, image_files::kOffsetsAt, movedTo);

  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  QImageReader reader(&buffer, "m32");
  const QImage image = reader.read();
  ASSERT_EQ(image.size(), QSize(9, 4)) << reader.errorString().toStdString();
  EXPECT_EQ(WrongPixels(image, texture), 0);
}

TEST(M32Plugin, LeavesOtherFormatsToTheirOwnPlugins) {
  const TempDir folder;
  QImage png(4, 3, QImage::Format_ARGB32);
  png.fill(Qt::darkCyan);
  ASSERT_TRUE(png.save(Path(folder, "picture"), "png"));
  QImageReader reader(Path(folder, "picture"));
  EXPECT_EQ(reader.format(), "png");
  EXPECT_EQ(reader.read().pixel(1, 1), QColor(Qt::darkCyan).rgba());
}

// The damaged textures of every kind are the header check's tests; here one, as Qt meets it.
TEST(M32Plugin, RefusesADamagedTextureWithNoImageAndItsReasonInTheLog) {
  const TempDir folder;
  const QString path = Path(folder, "damaged.m32");
  image_files::WriteBytes(path.toStdString(), preview_testing::Truncated());
  const LogCapture log;
  QImageReader reader(path);
  EXPECT_TRUE(reader.read().isNull());
  EXPECT_EQ(reader.error(), QImageReader::InvalidDataError) << "known as m32, refused as damaged";
  EXPECT_TRUE(log.Text().contains(path)) << log.Text().toStdString();
  EXPECT_TRUE(log.Text().contains(QStringLiteral("truncated"))) << log.Text().toStdString();
}

}  // namespace
