#pragma once

#include "viewer/Signature.h"

#include <QByteArray>
#include <QImage>
#include <QPicture>
#include <QSize>
#include <QString>

#include <atomic>
#include <optional>

namespace quillon::viewer {

// A decoded picture; it knows its own size, at which it is shown.
struct Picture {
  enum class Type { None, Bitmap, Metafile, Icon };

  Type type = Type::None;
  QImage image;      // Bitmap (opaque) and Icon (with transparency)
  QPicture metafile; // Metafile: a recording to draw at (0, 0)
  // Metafile decoded for a view: the shown part already drawn, with
  // transparency where the recording draws nothing; null otherwise.
  QImage drawn;
  QSize size; // in pixels
  // Where `image` lies in the picture: a bitmap decoded only in the part
  // that can be shown is the middle of a larger one.
  QPoint origin;

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

// The viewer decodes at most this many of a value's first bytes, more than
// a bitmap of the most pixels the decoders accept takes at 32 bits. Of a
// longer value it shows what they hold (the first frame of a long GIF).
inline constexpr qint64 kLargestPictureValue = (qint64(256) + 1) << 20;

// What a caller needs of a picture beyond the whole of it.
struct DecodeLimits {
  // With a valid size, a JPEG larger than it is decoded only in its middle
  // part of that size, which is all a view showing it centred at its own
  // size can show; a metafile's middle part of that size is drawn.
  QSize shown;
  // When set and it turns true, a JPEG decode or a metafile's playing stops
  // and fails: nobody waits for its picture any more.
  const std::atomic<bool> *abandoned = nullptr;
};

// Decodes a whole value as the viewer does: its first bytes choose the
// decoder (pictureFormatOf). Never reads past the value, never throws.
// A header claiming more pixels than its bytes could encode fails before
// any pixel is allocated.
DecodeResult decodePicture(const QByteArray &value, const DecodeLimits &limits = {});

// The decoders alone, each for a value of its own format. JPEG and GIF need
// no application object; metafile text is drawn only when a
// QGuiApplication exists (fonts need one).
DecodeResult decodeJpeg(const QByteArray &value, const DecodeLimits &limits = {});
DecodeResult decodeGif(const QByteArray &value);
DecodeResult decodeBmp(const QByteArray &value);
DecodeResult decodeIco(const QByteArray &value);
DecodeResult decodeWmf(const QByteArray &value, const DecodeLimits &limits = {});

// The picture as an image of its own size: a bitmap or icon as it is, a
// metafile drawn onto white. Null for a picture of Type::None.
QImage pictureImage(const Picture &picture);

} // namespace quillon::viewer
