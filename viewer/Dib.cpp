#include "viewer/Dib.h"

#include <QList>

#include <bit>
#include <vector>

namespace quillon::viewer::detail {

namespace {

// One channel of a 16- or 32-bit pixel, widened to 8 bits.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t max = 0;

  explicit Channel(std::uint32_t m) : mask(m) {
    if (mask) {
      shift = std::countr_zero(mask);
      max = mask >> shift;
    }
  }
  int value(std::uint32_t pixel, int absent) const {
    if (!max)
      return absent;
    return int((std::uint64_t((pixel & mask) >> shift) * 255 + max / 2) / max);
  }
};

QList<QRgb> colourTable(const Bytes &dib, const DibHeader &header) {
  // Only the entries a pixel can index matter; the rest are skipped.
  const qint64 usable =
      header.bitCount <= 8 ? std::min<qint64>(header.colourEntries, 1 << header.bitCount) : 0;
  QList<QRgb> table(256, qRgb(0, 0, 0)); // an index past the table is black
  const qint64 start = header.headerSize + header.maskBytes;
  for (qint64 i = 0; i < usable; ++i) {
    const qint64 at = start + i * header.colourEntryBytes;
    table[i] = qRgb(dib.u8(at + 2), dib.u8(at + 1), dib.u8(at));
  }
  return table;
}

// Expands run-length coded pixels into one palette index a pixel, bottom
// row first as stored. Pixels the codes skip keep index 0.
std::vector<std::uint8_t> expandRle(const DibHeader &header, const Bytes &data) {
  const bool four = header.compression == kBiRle4;
  const qint64 width = header.width;
  const qint64 rows = header.height;
  std::vector<std::uint8_t> indices(std::size_t(width * rows), 0);
  const unsigned char *p = data.data();
  const qint64 n = data.size();
  qint64 x = 0, y = 0, pos = 0;
  auto put = [&](std::uint8_t index) {
    if (x < width && y < rows)
      indices[std::size_t(y * width + x)] = index;
    ++x;
  };
  for (;;) {
    if (pos + 2 > n) {
      // Some writers end with the last row instead of an end-of-bitmap code.
      if (y >= rows || (y == rows - 1 && x >= width))
        break;
      damaged(QStringLiteral("the compressed pixels end before the bitmap does"));
    }
    const int count = p[pos], code = p[pos + 1];
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i)
        put(four ? std::uint8_t(i % 2 ? code & 0x0F : code >> 4) : std::uint8_t(code));
      continue;
    }
    if (code == 0) { // end of row
      x = 0;
      ++y;
    } else if (code == 1) { // end of bitmap
      break;
    } else if (code == 2) { // move right and up
      if (pos + 2 > n)
        damaged(QStringLiteral("the compressed pixels end inside a move"));
      x += p[pos];
      y += p[pos + 1];
      pos += 2;
    } else { // literal pixels, padded to a 16-bit boundary
      const qint64 bytes = four ? (code + 1) / 2 : code;
      const qint64 padded = (bytes + 1) & ~qint64(1);
      if (pos + padded > n)
        damaged(QStringLiteral("the compressed pixels end inside a literal run"));
      for (int i = 0; i < code; ++i) {
        const std::uint8_t byte = p[pos + (four ? i / 2 : i)];
        put(four ? std::uint8_t(i % 2 ? byte & 0x0F : byte >> 4) : byte);
      }
      pos += padded;
    }
  }
  return indices;
}

} // namespace

DibHeader readDibHeader(const Bytes &dib) {
  DibHeader h;
  h.headerSize = dib.u32(0);
  std::uint32_t coloursUsed = 0;
  if (h.headerSize == 12) { // OS/2 core header
    dib.need(0, 12, "the bitmap header");
    h.width = dib.u16(4);
    h.height = dib.u16(6);
    if (dib.u16(8) != 1)
      damaged(QStringLiteral("the bitmap has %1 planes, not 1").arg(dib.u16(8)));
    h.bitCount = dib.u16(10);
    h.colourEntryBytes = 3;
    if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 24)
      damaged(QStringLiteral("the bitmap has %1 bits a pixel").arg(h.bitCount));
  } else if (h.headerSize == 40 || h.headerSize == 52 || h.headerSize == 56 || h.headerSize == 64 ||
             h.headerSize == 108 || h.headerSize == 124) {
    dib.need(0, h.headerSize, "the bitmap header");
    h.width = dib.i32(4);
    const qint64 height = dib.i32(8);
    h.topDown = height < 0;
    h.height = h.topDown ? -height : height;
    if (dib.u16(12) != 1)
      damaged(QStringLiteral("the bitmap has %1 planes, not 1").arg(dib.u16(12)));
    h.bitCount = dib.u16(14);
    h.compression = dib.u32(16);
    h.sizeImage = dib.u32(20);
    coloursUsed = dib.u32(32);
    const int bits = h.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
      damaged(QStringLiteral("the bitmap has %1 bits a pixel").arg(bits));
    const std::uint32_t c = h.compression;
    // OS/2 2.x numbers its own compressions from 3 on.
    const bool supported = c == kBiRgb || (c == kBiRle8 && bits == 8) ||
                           (c == kBiRle4 && bits == 4) ||
                           (c == kBiBitfields && (bits == 16 || bits == 32) && h.headerSize != 64);
    if (!supported)
      damaged(QStringLiteral("the bitmap's compression %1 at %2 bits a pixel is not supported")
                  .arg(c)
                  .arg(bits));
    if ((c == kBiRle8 || c == kBiRle4) && h.topDown)
      damaged(QStringLiteral("a compressed bitmap cannot be stored top row first"));
  } else {
    damaged(QStringLiteral("the bitmap header size %1 is not one of a bitmap's").arg(h.headerSize));
  }

  if (h.width <= 0 || h.height <= 0)
    damaged(QStringLiteral("the bitmap is %1 by %2 pixels").arg(h.width).arg(h.height));
  if (h.width * h.height > kMaxPixels)
    damaged(
        QStringLiteral("the bitmap of %1 by %2 pixels is too large").arg(h.width).arg(h.height));

  if (h.bitCount == 16 || h.bitCount == 32) {
    if (h.compression == kBiBitfields) {
      // After a 40-byte header the masks follow it; longer headers hold them.
      const qint64 at = 40;
      if (h.headerSize == 40)
        h.maskBytes = 12;
      h.masks[0] = dib.u32(at);
      h.masks[1] = dib.u32(at + 4);
      h.masks[2] = dib.u32(at + 8);
      if (h.headerSize >= 56)
        h.masks[3] = dib.u32(at + 12);
    } else if (h.bitCount == 16) {
      h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
    } else {
      h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF, h.masks[3] = 0xFF000000;
    }
  }

  if (h.bitCount <= 8)
    h.colourEntries = coloursUsed && h.headerSize != 12 ? coloursUsed : 1 << h.bitCount;
  else
    h.colourEntries = coloursUsed; // an optional palette that packed pixels follow
  dib.need(0, h.tableEnd(), "the bitmap's colour table");
  return h;
}

void requirePlausibleSize(qint64 pixels, qint64 bytes, qint64 pixelsPerByte, const char *what) {
  if (pixels > kPixelsWithoutData && pixels / pixelsPerByte > bytes)
    damaged(QStringLiteral("%1 claims %2 pixels, more than its %3 bytes can hold")
                .arg(QLatin1String(what))
                .arg(pixels)
                .arg(bytes));
}

QImage decodeDibPixels(const Bytes &dib, const DibHeader &h, const Bytes &pixels, DibAlpha alpha) {
  const qint64 rows = h.height;
  const bool compressed = h.compression == kBiRle8 || h.compression == kBiRle4;
  // Uncompressed pixels must all be there before the image is allocated;
  // compressed ones at least as many bytes as a run of runs needs.
  if (!compressed)
    pixels.need(0, rows * h.stride(), "the bitmap's pixels");
  else
    requirePlausibleSize(h.width * rows, pixels.size(), 256, "the compressed bitmap");
  const bool keepAlpha = alpha == DibAlpha::FromPixels && h.bitCount == 32;
  QImage image(int(h.width), int(rows), keepAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (image.isNull())
    damaged(
        QStringLiteral("not enough memory for a bitmap of %1 by %2 pixels").arg(h.width).arg(rows));
  const int width = int(h.width);
  // Stored row `r` is shown at line lineOf(r).
  auto lineOf = [&](qint64 r) { return int(h.topDown ? r : rows - 1 - r); };

  if (compressed) {
    const Bytes data = h.sizeImage && h.sizeImage < std::uint64_t(pixels.size())
                           ? pixels.mid(0, h.sizeImage, "the compressed pixels")
                           : pixels;
    const std::vector<std::uint8_t> indices = expandRle(h, data);
    const QList<QRgb> table = colourTable(dib, h);
    for (qint64 r = 0; r < rows; ++r) {
      auto *line = reinterpret_cast<QRgb *>(image.scanLine(lineOf(r)));
      const std::uint8_t *in = indices.data() + r * h.width;
      for (int x = 0; x < width; ++x)
        line[x] = table[in[x]];
    }
    return image;
  }

  const qint64 stride = h.stride();
  const QList<QRgb> table = colourTable(dib, h);
  const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alphaChannel(h.masks[3]);
  for (qint64 r = 0; r < rows; ++r) {
    const unsigned char *in = pixels.data() + r * stride;
    auto *line = reinterpret_cast<QRgb *>(image.scanLine(lineOf(r)));
    switch (h.bitCount) {
    case 1:
      for (int x = 0; x < width; ++x)
        line[x] = table[(in[x / 8] >> (7 - x % 8)) & 1];
      break;
    case 4:
      for (int x = 0; x < width; ++x)
        line[x] = table[(in[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F];
      break;
    case 8:
      for (int x = 0; x < width; ++x)
        line[x] = table[in[x]];
      break;
    case 24:
      for (int x = 0; x < width; ++x)
        line[x] = qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
      break;
    case 16:
    case 32:
      for (int x = 0; x < width; ++x) {
        const std::uint32_t pixel = h.bitCount == 16 ? std::uint32_t(in[2 * x] | in[2 * x + 1] << 8)
                                                     : std::uint32_t(in[4 * x]) |
                                                           std::uint32_t(in[4 * x + 1]) << 8 |
                                                           std::uint32_t(in[4 * x + 2]) << 16 |
                                                           std::uint32_t(in[4 * x + 3]) << 24;
        line[x] = qRgba(red.value(pixel, 0), green.value(pixel, 0), blue.value(pixel, 0),
                        keepAlpha ? alphaChannel.value(pixel, 255) : 255);
      }
      break;
    }
  }
  return image;
}

QImage decodePackedDib(const Bytes &dib, DibHeader *headerOut) {
  const DibHeader header = readDibHeader(dib);
  if (headerOut)
    *headerOut = header;
  return decodeDibPixels(dib, header, dib.from(header.tableEnd(), "the bitmap's pixels"),
                         DibAlpha::Opaque);
}

} // namespace quillon::viewer::detail
