#include "m32_handler.h"

#include <QFile>
#include <QVariant>

#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>

#include "system/number_text.h"

namespace preview {
namespace {

using formats::HeaderResult;
using formats::MipLevel;

// An m32 file is read at offsets from its start, so only a device that can seek will do.
constexpr char kStreamRefused[] = "an m32 texture is read from a file, not from a stream";

// No smaller level is this large, so level 0 is read.
constexpr formats::LevelFloor kFullSize{.longerSide = UINT32_MAX};

// A device read at offsets from where it stood when this was made.
class DeviceSource final : public formats::ByteSource {
 public:
  explicit DeviceSource(QIODevice* device) : device_(device) {
    if (!device || !device->isReadable()) {
      error_ = "nothing to read";
    } else if (device->isSequential()) {
      error_ = kStreamRefused;
    } else {
      start_ = device->pos();
      size_ = static_cast<std::uint64_t>(std::max<qint64>(0, device->size() - start_));
    }
  }

  std::uint64_t Size() const override { return size_; }
  const std::string& Error() const override { return error_; }

  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    if (!error_.empty()) return false;
    const auto wanted = static_cast<qint64>(bytes.size());
    // Within the size first seen, so that the sum cannot overflow.
    if (offset > size_ || bytes.size() > size_ - offset || !device_->seek(start_ + static_cast<qint64>(offset)) ||
        device_->read(reinterpret_cast<char*>(bytes.data()), wanted) != wanted) {
      error_ = "changed while being read: it ends before byte " + sys::WithSeparators(offset + bytes.size()) + " of " +
               sys::WithSeparators(size_);
    }
    return error_.empty();
  }

 private:
  QIODevice* device_;
  qint64 start_ = 0;
  std::uint64_t size_ = 0;
  std::string error_;
};

// Checks the header at the device's position against what is left of the device,
// without moving it.
HeaderResult PeekHeader(QIODevice* device) {
  const DeviceSource source(device);
  if (!source.Error().empty()) return {{}, source.Error()};
  const QByteArray header = device->peek(static_cast<qint64>(formats::kM32HeaderBytes));
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(header.constData()),
                        static_cast<std::size_t>(header.size()));
  return formats::CheckM32Header(bytes, source.Size());
}

// A file named *.m32 is taken to be one even when damaged, so that whoever opens it
// hears why it cannot be shown rather than "unsupported image format".
bool NamedM32(const QIODevice* device) {
  const auto* file = qobject_cast<const QFile*>(device);
  return file && file->fileName().endsWith(QLatin1String(".m32"), Qt::CaseInsensitive);
}

// Sides are at most 65,535 once checked, so they fit an int.
QSize SizeOf(const MipLevel& level) { return {static_cast<int>(level.width), static_cast<int>(level.height)}; }

QString TooLarge(QSize size) {
  return QStringLiteral("%1 x %2 pixels, too large to show").arg(size.width()).arg(size.height());
}

M32Picture Failure(const QString& reason) { return {{}, {}, reason}; }

}  // namespace

M32Picture ReadM32Picture(formats::ByteSource& source, formats::LevelFloor floor) {
  const formats::LevelPick pick = formats::ReadM32Level(source, floor);
  if (!pick.Ok()) return Failure(QString::fromStdString(pick.header.error));
  const formats::ImageSize size = formats::SampledSize(pick.level, floor);
  const QSize shape(static_cast<int>(size.width), static_cast<int>(size.height));
  QImage pixels;
  if (!QImageIOHandler::allocateImage(shape, QImage::Format_RGBA8888, &pixels)) return Failure(TooLarge(shape));
  // RGBA8888 keeps the bytes in the file's order, red, green, blue, alpha.
  formats::SampledRows rows(source, pick.level, size);
  const std::size_t rowBytes = std::size_t{size.width} * formats::kM32BytesPerPixel;
  for (std::uint32_t y = 0; y < size.height; ++y) {
    if (!rows.ReadRow(y, std::span(pixels.scanLine(static_cast<int>(y)), rowBytes))) {
      return Failure(QString::fromStdString(source.Error()));
    }
  }
  return {std::move(pixels), SizeOf(pick.header.level0), {}};
}

bool M32Handler::LooksLikeM32(QIODevice* device) { return PeekHeader(device).Ok(); }

bool M32Handler::canRead() const {
  if (!NamedM32(device()) && !LooksLikeM32(device())) return false;
  setFormat("m32");
  return true;
}

bool M32Handler::read(QImage* image) {
  error_.clear();
  const bool scaled = !scaledSize_.isEmpty();
  const formats::LevelFloor floor = scaled ? formats::LevelFloor{static_cast<std::uint32_t>(scaledSize_.width()),
                                                                 static_cast<std::uint32_t>(scaledSize_.height())}
                                           : kFullSize;
  DeviceSource source(device());
  M32Picture picture = ReadM32Picture(source, floor);
  if (picture.image.isNull()) return Fail(picture.error);
  if (scaled) {
    picture.image = picture.image.scaled(scaledSize_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (picture.image.isNull()) return Fail(TooLarge(scaledSize_));
  }
  *image = std::move(picture.image);
  return true;
}

bool M32Handler::supportsOption(ImageOption option) const {
  return option == Size || option == ImageFormat || option == ScaledSize;
}

QVariant M32Handler::option(ImageOption option) const {
  if (option == ImageFormat) return QImage::Format_RGBA8888;
  if (option == ScaledSize) return scaledSize_;
  if (option != Size) return {};
  const HeaderResult header = PeekHeader(device());
  if (!header.Ok()) return {};
  return SizeOf(header.level0);
}

void M32Handler::setOption(ImageOption option, const QVariant& value) {
  if (option == ScaledSize) scaledSize_ = value.toSize();
}

bool M32Handler::Fail(const QString& reason) {
  error_ = reason;
  return false;
}

}  // namespace preview
