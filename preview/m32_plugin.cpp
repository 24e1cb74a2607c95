// The image format plugin: every Qt program that loads image plugins opens m32 and m8
// textures.
#include <QFile>
#include <QImageIOPlugin>
#include <QLoggingCategory>

#include "m32_handler.h"

namespace preview {
namespace {

Q_LOGGING_CATEGORY(lcM32, "pellicar.m32")

// A plugin cannot hand its reason to QImageReader, whose own error text is generic, so
// it goes to the log, naming the file where there is one.
class LoggingM32Handler final : public M32Handler {
 public:
  bool read(QImage* image) override {
    if (M32Handler::read(image)) return true;
    const auto* file = qobject_cast<const QFile*>(device());
    const QString name = file ? file->fileName() : QStringLiteral("%1 image").arg(QString::fromLatin1(format()));
    qCWarning(lcM32, "%s: %s", qUtf8Printable(name), qUtf8Printable(ErrorString()));
    return false;
  }
};

}  // namespace

class M32Plugin final : public QImageIOPlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "m32.json")

 public:
  Capabilities capabilities(QIODevice* device, const QByteArray& format) const override {
    if (format == "m32" || format == "m8") return CanRead;
    if (!format.isEmpty() || !device) return {};
    return M32Handler::LooksLikeM32(device) || M32Handler::LooksLikeM8(device) ? CanRead : Capabilities();
  }

  QImageIOHandler* create(QIODevice* device, const QByteArray& format) const override {
    auto* handler = new LoggingM32Handler;
    handler->setDevice(device);
    if (!format.isEmpty()) {
      handler->setFormat(format);
    } else {
      handler->setFormat(device && M32Handler::LooksLikeM8(device) ? QByteArrayLiteral("m8")
                                                                   : QByteArrayLiteral("m32"));
    }
    return handler;
  }
};

}  // namespace preview

#include "m32_plugin.moc"
