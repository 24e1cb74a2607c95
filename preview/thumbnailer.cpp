// pellicar-thumbnailer -s SIZE INPUT OUTPUT: the freedesktop thumbnailer for m32 and m8
// textures (an m8 by its name or its content).
// Writes a PNG no larger than SIZE on either side that keeps the texture's aspect ratio;
// a texture already that small keeps its own size. A texture that cannot be read, or an
// OUTPUT that is the texture itself under any name, gets a message and no PNG, and a
// file already at OUTPUT stays as it was.
#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>

#include "formats/m32.h"
#include "m32_handler.h"
#include "system/console.h"
#include "system/files.h"

namespace {

using sys::kAllDone, sys::kSomeFailed, sys::kWrongCommandLine;

constexpr char kUsage[] = "Usage: pellicar-thumbnailer -s SIZE INPUT.m32|INPUT.m8 OUTPUT.png\n";

struct Request {
  int size = 0;
  QString input;
  QString output;
};

// Sides are at most 65,535, so they fit an int.
QSize ThumbnailSize(QSize texture, int limit) {
  const formats::ImageSize fitted =
      formats::FitWithin({static_cast<std::uint32_t>(texture.width()), static_cast<std::uint32_t>(texture.height())},
                         static_cast<std::uint32_t>(limit));
  return {static_cast<int>(fitted.width), static_cast<int>(fitted.height)};
}

std::filesystem::path LocalPath(const QString& name) { return QFile::encodeName(name).toStdString(); }

bool Parse(const QStringList& arguments, Request& request) {
  if (arguments.size() != 5 || arguments[1] != QLatin1String("-s")) return false;
  bool isNumber = false;
  request.size = arguments[2].toInt(&isNumber);
  request.input = arguments[3];
  request.output = arguments[4];
  return isNumber && request.size > 0;
}

// Written as the converter writes its files: complete or not at all, in place of a
// regular file or a link (never through it), and never over anything else.
QString WritePng(const QImage& image, const QString& output) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(image)) return QStringLiteral("cannot write %1: %2").arg(output, writer.errorString());
  sys::ReplacingFile file(LocalPath(output));
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(png.constData()), static_cast<std::size_t>(png.size()));
  if (file.Write(bytes) && file.Commit()) return {};
  return QString::fromStdString(file.Error());
}

// Read from the smallest level whose longer side reaches the asked size. The input is
// opened without waiting, so a named pipe is refused like anything that is not a file.
preview::M32Picture ReadThumbnail(const Request& request) {
  sys::InputFile file(LocalPath(request.input));
  formats::SourceOf<sys::InputFile> source(file);
  const bool m8 = request.input.endsWith(QLatin1String(".m8"), Qt::CaseInsensitive);
  preview::M32Picture picture =
      preview::ReadM32Picture(source, {.longerSide = static_cast<std::uint32_t>(request.size)}, m8);
  if (picture.image.isNull()) return picture;
  picture.image = picture.image.scaled(ThumbnailSize(picture.texture, request.size), Qt::IgnoreAspectRatio,
                                       Qt::SmoothTransformation);
  if (picture.image.isNull()) picture.error = QStringLiteral("not enough memory to scale it");
  return picture;
}

QString Thumbnail(const Request& request) {
  // By identity, so that another spelling of the name or a link to the texture is
  // refused too: the PNG would take the texture's place.
  if (sys::SameFile(LocalPath(request.output), LocalPath(request.input)))
    return QStringLiteral("the output %1 is the texture itself").arg(request.output);
  const preview::M32Picture picture = ReadThumbnail(request);
  if (picture.image.isNull()) return picture.error;
  return WritePng(picture.image, request.output);
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  Request request;
  if (!Parse(QCoreApplication::arguments(), request)) {
    std::fputs(kUsage, stderr);
    return kWrongCommandLine;
  }
  const QString error = Thumbnail(request);
  if (error.isEmpty()) return kAllDone;
  std::fprintf(stderr, "pellicar-thumbnailer: %s: %s\n", qUtf8Printable(request.input), qUtf8Printable(error));
  return kSomeFailed;
}
