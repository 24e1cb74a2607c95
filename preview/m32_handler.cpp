#include "m32_handler.h"

#include <QFile>
#include <QVariant>

#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>

#include "formats/texture_preview.h"
#include "system/number_text.h"

namespace preview {
namespace {

using formats::HeaderResult;
using formats::MipLevel;

// A texture is read at offsets from its start, so only a device that can seek will do.
constexpr char kStreamRefused[] = "a texture is read from a file, not from a stream";

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

// Checks the header (an m8's or an m32's) at the device's position against what is left
// of the device, without moving it.
HeaderResult PeekHeader(QIODevice* device, bool m8) {
  const DeviceSource source(device);
  if (!source.Error().empty()) return {{}, source.Error()};
  const QByteArray header = device->peek(static_cast<qint64>(m8 ? formats::kM8HeaderBytes : formats::kM32HeaderBytes));
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(header.constData()),
                        static_cast<std::size_t>(header.size()));
  return m8 ? formats::CheckM8Header(bytes, source.Size()) : formats::CheckM32Header(bytes, source.Size());
}

// A file named *.m32 or *.m8 is taken to be one even when damaged, so that whoever opens
// it hears why it cannot be shown rather than "unsupported image format".
bool Named(const QIODevice* device, QLatin1String suffix) {
  const auto* file = qobject_cast<const QFile*>(device);
  return file && file->fileName().endsWith(suffix, Qt::CaseInsensitive);
}

// Sides are at most 65,535 once checked, so they fit an int.
QSize SizeOf(const MipLevel& level) { return {static_cast<int>(level.width), static_cast<int>(level.height)}; }

QString TooLarge(QSize size) {
  return QStringLiteral("%1 x %2 pixels, too large to show").arg(size.width()).arg(size.height());
}

M32Picture Failure(const QString& reason) { return {{}, {}, reason}; }

}  // namespace

M32Picture ReadM32Picture(formats::ByteSource& source, formats::LevelFloor floor, bool m8) {
  formats::TexturePreview texture(source, m8);
  if (!texture.Pick(floor)) return Failure(QString::fromStdString(texture.Header().error));
  const formats::ImageSize size = texture.Size();
  const QSize shape(static_cast<int>(size.width), static_cast<int>(size.height));
  QImage pixels;
  // Both keep the bytes in the rows' order, red, green, blue, alpha; an m8's are opaque.
  const QImage::Format format = texture.IsM8() ? QImage::Format_RGBX8888 : QImage::Format_RGBA8888;
  if (!QImageIOHandler::allocateImage(shape, format, &pixels)) return Failure(TooLarge(shape));
  const std::size_t rowBytes = std::size_t{size.width} * formats::kM32BytesPerPixel;
  for (std::uint32_t y = 0; y < size.height; ++y) {
    const std::span<const std::uint8_t> row = texture.Rows(y, 1);
    if (row.size() != rowBytes) return Failure(QString::fromStdString(source.Error()));
    std::copy(row.begin(), row.end(), pixels.scanLine(static_cast<int>(y)));
  }
  return {std::move(pixels), SizeOf(texture.Header().level0), {}};
}

bool M32Handler::LooksLikeM32(QIODevice* device) { return PeekHeader(device, false).Ok(); }

bool M32Handler::LooksLikeM8(QIODevice* device) { return PeekHeader(device, true).Ok(); }

bool M32Handler::canRead() const {
  if (Named(device(), QLatin1String(".m8")) || (!Named(device(), QLatin1String(".m32")) && LooksLikeM8(device()))) {
    setFormat("m8");
    return true;
  }
  if (!Named(device(), QLatin1String(".m32")) && !LooksLikeM32(device())) return false;
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
  M32Picture picture = ReadM32Picture(source, floor, format() == "m8");
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
  if (option == ImageFormat) return format() == "m8" ? QImage::Format_RGBX8888 : QImage::Format_RGBA8888;
  if (option == ScaledSize) return scaledSize_;
  if (option != Size) return {};
  const HeaderResult header = PeekHeader(device(), format() == "m8");
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
