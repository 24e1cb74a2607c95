// m32 textures into QImage: level 0 with its alpha, read through the converter's own
// header checks. The image format plugin and the thumbnailer both read with it.
#pragma once

#include <QImageIOHandler>
#include <QString>

namespace preview {

class M32Handler : public QImageIOHandler {
 public:
  // True for a texture that can be read, and for any file named *.m32, whose read()
  // then says what is wrong with it.
  bool canRead() const override;
  bool read(QImage* image) override;
  bool supportsOption(ImageOption option) const override;
  QVariant option(ImageOption option) const override;

  // Why the last read failed; empty after a success.
  const QString& ErrorString() const { return error_; }

  // Whether the device, from where it stands, holds an m32 texture that can be read.
  static bool LooksLikeM32(QIODevice* device);

 private:
  bool Fail(const QString& reason);

  QString error_;
};

}  // namespace preview
