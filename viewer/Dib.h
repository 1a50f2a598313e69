#pragma once

#include "viewer/Bytes.h"

#include <QImage>

#include <cstdint>

// Device-independent bitmaps, as BMP files, icons and metafiles hold them;
// not part of the viewer's interface.
namespace quillon::viewer::detail {

// Pictures of more pixels are refused: 256 MB at 4 bytes a pixel.
constexpr qint64 kMaxPixels = qint64(64) * 1024 * 1024;

// Pictures whose header claims more pixels than this may be drawn from any
// number of bytes; beyond it, every pixel needs a share of the bytes, so a
// damaged header never makes a small value allocate a huge picture.
constexpr qint64 kPixelsWithoutData = qint64(4) << 20;

// Fails a picture whose `pixels` the `bytes` of its data could not encode
// at `pixelsPerByte`, beyond kPixelsWithoutData.
void requirePlausibleSize(qint64 pixels, qint64 bytes, qint64 pixelsPerByte, const char *what);

enum : std::uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3 };

struct DibHeader {
  qint64 headerSize = 0;
  qint64 width = 0;
  qint64 height = 0; // rows stored, always positive
  bool topDown = false;
  int bitCount = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t sizeImage = 0;
  std::uint32_t masks[4] = {}; // red, green, blue, alpha
  qint64 maskBytes = 0;        // masks stored after a 40-byte header
  qint64 colourEntries = 0;
  int colourEntryBytes = 4; // 3 in an OS/2 core header

  // Where the colour table ends: the pixels of a packed DIB start here.
  qint64 tableEnd() const { return headerSize + maskBytes + colourEntries * colourEntryBytes; }
  qint64 stride() const { return (width * bitCount + 31) / 32 * 4; }
};

// Reads and checks the header at the start of `dib`; the header and its
// colour table must lie within `dib`.
DibHeader readDibHeader(const Bytes &dib);

enum class DibAlpha { Opaque, FromPixels };

// Decodes the pixels that start `pixels`, with the colour table read from
// `dib`, into an image top row first. With FromPixels a 32-bit bitmap keeps
// its alpha channel (ARGB32); otherwise the image is opaque (RGB32).
QImage decodeDibPixels(const Bytes &dib, const DibHeader &header, const Bytes &pixels,
                       DibAlpha alpha);

// A packed DIB: header, colour table and pixels in a row, as metafiles
// store them. Returns the opaque image; `header` receives the header.
QImage decodePackedDib(const Bytes &dib, DibHeader *header = nullptr);

} // namespace quillon::viewer::detail
