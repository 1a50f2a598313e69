// quillon-render: decodes a value file exactly as the viewer's picture path
// does and writes the picture as PNG.
//
//   quillon-render VALUE-FILE OUT.png
//
// A metafile is drawn onto a white image of its size, a bitmap or icon is
// written as its image. Exit status 0 when the PNG was written; 1 when the
// value is no picture, cannot be decoded or the PNG cannot be written,
// with the reason on standard error; 2 for wrong arguments.
#include "viewer/PictureDecoders.h"

#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>

namespace {

int fail(const QString &message) {
  std::fprintf(stderr, "quillon-render: %s\n", message.toLocal8Bit().constData());
  return 1;
}

} // namespace

int main(int argc, char **argv) {
  // Metafile text needs fonts, and fonts need a GUI application; the
  // offscreen platform needs no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() != 3) {
    std::fputs("usage: quillon-render VALUE-FILE OUT.png\n"
               "Decodes VALUE-FILE as Quillon's viewer shows a picture and writes it as PNG.\n",
               stderr);
    return 2;
  }

  QFile in(args[1]);
  if (!in.open(QIODevice::ReadOnly))
    return fail(QStringLiteral("cannot read %1: %2").arg(args[1], in.errorString()));
  const QByteArray value = in.readAll();
  if (in.error() != QFileDevice::NoError)
    return fail(QStringLiteral("cannot read %1: %2").arg(args[1], in.errorString()));

  using namespace quillon::viewer;
  const DecodeResult result = decodePicture(value);
  if (result.format == PictureFormat::None)
    return fail(
        QStringLiteral("%1: format not recognised (not JPEG, GIF, BMP, WMF or ICO)").arg(args[1]));
  if (!result.ok())
    return fail(QStringLiteral("%1: damaged %2: %3")
                    .arg(args[1], QLatin1String(pictureFormatName(result.format)), result.error));

  const QImage image = pictureImage(*result.picture);
  if (image.isNull())
    return fail(QStringLiteral("not enough memory for a picture of %1 by %2 pixels")
                    .arg(result.picture->size.width())
                    .arg(result.picture->size.height()));
  QSaveFile out(args[2]);
  if (!out.open(QIODevice::WriteOnly))
    return fail(QStringLiteral("cannot write %1: %2").arg(args[2], out.errorString()));
  QImageWriter writer(&out, "png");
  if (!writer.write(image))
    return fail(QStringLiteral("cannot write %1: %2").arg(args[2], writer.errorString()));
  if (!out.commit())
    return fail(QStringLiteral("cannot write %1: %2").arg(args[2], out.errorString()));
  return 0;
}
