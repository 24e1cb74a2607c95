// m32 and m8 textures into QImage, read through the converter's own header checks: level
// 0 (an m32's with its alpha, an m8's through its palette), or for a preview the smallest
// mip level that is large enough. The image format plugin and the thumbnailer both read
// with it.
#pragma once

#include <QImage>
#include <QImageIOHandler>
#include <QSize>
#include <QString>

#include "formats/m32.h"

namespace preview {

// One level of a texture as an image, or why it could not be read.
struct M32Picture {
  QImage image;   // null when the level could not be read
  QSize texture;  // the size of level 0, which the image stands for
  QString error;
};

// Reads the smallest level of the texture in `source` that meets `floor` (level 0 when
// none smaller does), or its sampled stand-in when that level is much larger than the
// floor (formats::SampledSize), so that time and memory follow what is asked for, not
// the texture. An m8 when `m8` says so or by its content (formats::TexturePreview).
M32Picture ReadM32Picture(formats::ByteSource& source, formats::LevelFloor floor, bool m8 = false);

class M32Handler : public QImageIOHandler {
 public:
  // True for a texture that can be read, and for any file named *.m32 or *.m8, whose
  // read() then says what is wrong with it.
  bool canRead() const override;
  // Level 0; with a ScaledSize, the smallest level at least that large on each side (or
  // its sampled stand-in), scaled down smoothly to exactly that size.
  bool read(QImage* image) override;
  bool supportsOption(ImageOption option) const override;
  QVariant option(ImageOption option) const override;
  void setOption(ImageOption option, const QVariant& value) override;

  // Why the last read failed; empty after a success.
  const QString& ErrorString() const { return error_; }

  // Whether the device, from where it stands, holds an m32 texture that can be read.
  static bool LooksLikeM32(QIODevice* device);
  // The same for an m8.
  static bool LooksLikeM8(QIODevice* device);

 private:
  bool Fail(const QString& reason);

  QString error_;
  QSize scaledSize_;
};

}  // namespace preview
