#include "m32_handler.h"

#include <QFile>
#include <QImage>
#include <QSize>
#include <QVariant>

#include <cstdint>
#include <span>

#include "m32.h"

namespace preview {
namespace {

using m32tga::HeaderResult;

// An m32 file is read at offsets from its start, so only a device that can seek will do.
constexpr char kStreamRefused[] = "an m32 texture is read from a file, not from a stream";

// Checks the header at the device's position against what is left of the device,
// without moving it.
HeaderResult PeekHeader(QIODevice* device) {
  if (!device || !device->isReadable()) return {{}, "nothing to read"};
  if (device->isSequential()) return {{}, kStreamRefused};
  const QByteArray header = device->peek(static_cast<qint64>(m32tga::kM32HeaderBytes));
  const qint64 left = device->size() - device->pos();
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(header.constData()),
                        static_cast<std::size_t>(header.size()));
  return m32tga::CheckM32Header(bytes, left > 0 ? static_cast<std::uint64_t>(left) : 0);
}

// A file named *.m32 is taken to be one even when damaged, so that whoever opens it
// hears why it cannot be shown rather than "unsupported image format".
bool NamedM32(const QIODevice* device) {
  const auto* file = qobject_cast<const QFile*>(device);
  return file && file->fileName().endsWith(QLatin1String(".m32"), Qt::CaseInsensitive);
}

QString SizeText(const m32tga::Level0& level0) {
  return QStringLiteral("%1 x %2").arg(level0.width).arg(level0.height);
}

}  // namespace

bool M32Handler::LooksLikeM32(QIODevice* device) { return PeekHeader(device).Ok(); }

bool M32Handler::canRead() const {
  if (!NamedM32(device()) && !LooksLikeM32(device())) return false;
  setFormat("m32");
  return true;
}

bool M32Handler::read(QImage* image) {
  error_.clear();
  QIODevice* in = device();
  const HeaderResult header = PeekHeader(in);
  if (!header.Ok()) return Fail(QString::fromStdString(header.error));
  const m32tga::Level0& level0 = header.level0;
  // Sides are at most 65,535 once checked, so they fit an int.
  const QSize size(static_cast<int>(level0.width), static_cast<int>(level0.height));
  QImage pixels;
  if (!QImageIOHandler::allocateImage(size, QImage::Format_RGBA8888, &pixels)) {
    return Fail(QStringLiteral("%1 pixels, too large to show").arg(SizeText(level0)));
  }
  if (!in->seek(in->pos() + static_cast<qint64>(level0.offset))) return Fail(in->errorString());
  // RGBA8888 keeps the bytes in the file's order, red, green, blue, alpha.
  const qint64 rowBytes = qint64{size.width()} * static_cast<qint64>(m32tga::kM32BytesPerPixel);
  for (int y = 0; y < size.height(); ++y) {
    if (in->read(reinterpret_cast<char*>(pixels.scanLine(y)), rowBytes) != rowBytes) {
      return Fail(
          QStringLiteral("changed while being read: pixel row %1 of %2 is missing").arg(y + 1).arg(size.height()));
    }
  }
  *image = std::move(pixels);
  return true;
}

bool M32Handler::supportsOption(ImageOption option) const { return option == Size || option == ImageFormat; }

QVariant M32Handler::option(ImageOption option) const {
  if (option == ImageFormat) return QImage::Format_RGBA8888;
  if (option != Size) return {};
  const HeaderResult header = PeekHeader(device());
  if (!header.Ok()) return {};
  return QSize(static_cast<int>(header.level0.width), static_cast<int>(header.level0.height));
}

bool M32Handler::Fail(const QString& reason) {
  error_ = reason;
  return false;
}

}  // namespace preview
