#pragma once

#include "viewer/Signature.h"

#include <QByteArray>
#include <QImage>
#include <QPicture>
#include <QSize>
#include <QString>

#include <optional>

namespace quillon::viewer {

// A decoded picture; it knows its own size, at which it is shown.
struct Picture {
  enum class Type { None, Bitmap, Metafile, Icon };

  Type type = Type::None;
  QImage image;      // Bitmap (opaque) and Icon (with transparency)
  QPicture metafile; // Metafile: a recording to draw at (0, 0)
  QSize size;        // in pixels

  bool isNull() const { return type == Type::None; }
};

// What a decoder made of a value:
// - a picture: `picture` holds it, `error` is empty;
// - a value of no picture format: `picture` holds a Picture of Type::None;
// - a value of a picture format that cannot be decoded: `picture` is empty
//   and `error` says why.
struct DecodeResult {
  PictureFormat format = PictureFormat::None;
  std::optional<Picture> picture;
  QString error;

  bool ok() const { return picture.has_value(); }
};

// Decodes a whole value as the viewer does: its first bytes choose the
// decoder (pictureFormatOf). Never reads past the value, never throws.
DecodeResult decodePicture(const QByteArray &value);

// The decoders alone, each for a value of its own format. JPEG and GIF need
// no application object; metafile text is drawn only when a
// QGuiApplication exists (fonts need one).
DecodeResult decodeJpeg(const QByteArray &value);
DecodeResult decodeGif(const QByteArray &value);
DecodeResult decodeBmp(const QByteArray &value);
DecodeResult decodeIco(const QByteArray &value);
DecodeResult decodeWmf(const QByteArray &value);

// The picture as an image of its own size: a bitmap or icon as it is, a
// metafile drawn onto white. Null for a picture of Type::None.
QImage pictureImage(const Picture &picture);

} // namespace quillon::viewer
