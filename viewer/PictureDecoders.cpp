#include "viewer/PictureDecoders.h"

#include "viewer/Bytes.h"
#include "viewer/Dib.h"
#include "viewer/WmfRenderer.h"

#include <QPainter>

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstring>
#include <memory>

#include <gif_lib.h>
#include <jerror.h>
#include <jpeglib.h>

namespace quillon::viewer {

using detail::Bytes;
using detail::Damaged;
using detail::damaged;
using detail::kMaxPixels;
using detail::kPixelsWithoutData;

namespace {

DecodeResult failed(PictureFormat format, const QString &why) {
  DecodeResult result;
  result.format = format;
  result.error = why;
  return result;
}

DecodeResult decoded(PictureFormat format, Picture picture) {
  DecodeResult result;
  result.format = format;
  result.picture = std::move(picture);
  return result;
}

Picture imagePicture(Picture::Type type, QImage image) {
  Picture picture;
  picture.type = type;
  picture.size = image.size();
  picture.image = std::move(image);
  return picture;
}

// ---------------------------------------------------------------- JPEG

// libjpeg reports errors through error_exit, which must not return; ours
// jumps back to the decoder instead of ending the process.
struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

// Progressive files can hold any number of scans; real ones have a few.
constexpr int kMaxJpegScans = 1000;

[[noreturn]] void jpegFail(j_common_ptr info) {
  auto *errors = reinterpret_cast<JpegErrors *>(info->err);
  if (errors->message[0] == '\0')
    info->err->format_message(info, errors->message);
  std::longjmp(errors->jump, 1);
}

void jpegErrorExit(j_common_ptr info) {
  jpegFail(info);
}

// Warnings that mean pixel data is missing or corrupt fail the picture;
// those about markers alone do not.
void jpegEmitMessage(j_common_ptr info, int level) {
  if (level >= 0)
    return; // trace messages
  switch (info->err->msg_code) {
  case JWRN_EXTRANEOUS_DATA:
  case JWRN_JFIF_MAJOR:
  case JWRN_ADOBE_XFORM:
  case JWRN_BOGUS_ICC:
    ++info->err->num_warnings;
    return;
  default:
    jpegFail(info);
  }
}

void jpegOutputMessage(j_common_ptr) {}

// Everything the jump touches lives here or in the caller, so a longjmp
// never skips a C++ destructor.
struct JpegDecoder {
  jpeg_decompress_struct info; // first: the progress monitor finds the rest
  JpegErrors errors;
  jpeg_progress_mgr progress;
  const std::atomic<bool> *abandoned;
};

void jpegProgress(j_common_ptr info) {
  auto *decoder = reinterpret_cast<JpegDecoder *>(info);
  if (decoder->info.input_scan_number > kMaxJpegScans) {
    std::snprintf(decoder->errors.message, sizeof decoder->errors.message, "more than %d scans",
                  kMaxJpegScans);
    jpegFail(info);
  }
  if (decoder->abandoned && decoder->abandoned->load(std::memory_order_relaxed)) {
    std::snprintf(decoder->errors.message, sizeof decoder->errors.message, "abandoned");
    jpegFail(info);
  }
}

// Returns false after a libjpeg error; `image` then holds nothing useful.
// With a valid `shown` size smaller than the picture, only its middle of
// that size is decoded: the columns through jpeg_crop_scanline, the rows
// above skipped, those below never read; `origin` says where it lies.
bool runJpeg(JpegDecoder &d, const unsigned char *data, unsigned long size, QSize shown,
             QImage &image, QSize &full, QPoint &origin) {
  if (setjmp(d.errors.jump))
    return false;
  jpeg_create_decompress(&d.info);
  // Beyond this the decoder fails instead of using temporary files.
  d.info.mem->max_memory_to_use = 512L * 1024 * 1024;
  d.info.progress = &d.progress;
  jpeg_mem_src(&d.info, data, size);
  jpeg_read_header(&d.info, TRUE);

  const qint64 pixels = qint64(d.info.image_width) * d.info.image_height;
  if (pixels > kMaxPixels) {
    std::snprintf(d.errors.message, sizeof d.errors.message, "%u by %u pixels is too large",
                  d.info.image_width, d.info.image_height);
    return false;
  }
  // Huffman coding spends at least a bit on each block of 8 by 8 pixels
  // (arithmetic coding may spend less).
  if (!d.info.arith_code && pixels > kPixelsWithoutData && pixels / 512 > qint64(size)) {
    std::snprintf(d.errors.message, sizeof d.errors.message,
                  "%u by %u pixels cannot be held in %lu bytes", d.info.image_width,
                  d.info.image_height, size);
    return false;
  }
  const bool grey = d.info.jpeg_color_space == JCS_GRAYSCALE;
  const bool cmyk = d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK;
  d.info.out_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
  d.info.dct_method = JDCT_ISLOW;
  d.info.do_fancy_upsampling = TRUE;
  d.info.scale_num = d.info.scale_denom = 1;
  d.info.quantize_colors = FALSE;
  jpeg_start_decompress(&d.info);

  full = QSize(int(d.info.output_width), int(d.info.output_height));
  JDIMENSION left = 0, width = d.info.output_width;
  JDIMENSION top = 0, height = d.info.output_height;
  if (shown.isValid() && shown.width() + 2 < full.width()) {
    // A column more on either side: upsampling draws each column from its
    // neighbours, which the window's own edge columns lack.
    left = (d.info.output_width - JDIMENSION(shown.width())) / 2 - 1;
    width = JDIMENSION(shown.width()) + 2;
    // It widens the window to whole blocks, moving its left edge.
    jpeg_crop_scanline(&d.info, &left, &width);
  }
  if (shown.isValid() && shown.height() < full.height()) {
    height = JDIMENSION(shown.height());
    top = (d.info.output_height - height) / 2;
    if (jpeg_skip_scanlines(&d.info, top) != top) {
      std::snprintf(d.errors.message, sizeof d.errors.message, "no scanline %u", top);
      return false;
    }
  }
  origin = QPoint(int(left), int(top));
  image = QImage(int(width), int(height), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
  if (image.isNull()) {
    std::snprintf(d.errors.message, sizeof d.errors.message, "not enough memory");
    return false;
  }
  JSAMPARRAY cmykRow = nullptr;
  if (cmyk)
    cmykRow = d.info.mem->alloc_sarray(reinterpret_cast<j_common_ptr>(&d.info), JPOOL_IMAGE,
                                       JDIMENSION(width) * 4, 1);
  // Adobe writers store CMYK inverted (255 is no ink); without their marker
  // the samples are ink amounts.
  const bool inverted = d.info.saw_Adobe_marker;
  const int columns = int(width);
  for (int y = 0; y < int(height); ++y) {
    JSAMPROW row = cmyk ? cmykRow[0] : image.scanLine(y);
    if (jpeg_read_scanlines(&d.info, &row, 1) != 1) {
      std::snprintf(d.errors.message, sizeof d.errors.message, "no scanline %d", y);
      return false;
    }
    if (cmyk) {
      uchar *out = image.scanLine(y);
      for (int x = 0; x < columns; ++x) {
        const JSAMPLE *in = cmykRow[0] + 4 * x;
        const int k = inverted ? in[3] : 255 - in[3];
        for (int c = 0; c < 3; ++c) {
          const int ink = inverted ? in[c] : 255 - in[c];
          out[3 * x + c] = uchar((ink * k + 127) / 255);
        }
      }
    }
  }
  // Every pixel wanted has been read; the rest is left unread.
  jpeg_abort_decompress(&d.info);
  return true;
}

// ---------------------------------------------------------------- GIF

struct GifSource {
  const unsigned char *data;
  qsizetype size;
  qsizetype position;
};

int readGif(GifFileType *gif, GifByteType *buffer, int length) {
  auto *source = static_cast<GifSource *>(gif->UserData);
  const qsizetype count = std::clamp<qsizetype>(length, 0, source->size - source->position);
  if (count > 0)
    std::memcpy(buffer, source->data + source->position, std::size_t(count));
  source->position += count;
  return int(count);
}

struct GifCloser {
  void operator()(GifFileType *gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

[[noreturn]] void gifFailed(int code) {
  const char *text = GifErrorString(code);
  damaged(text ? QString::fromLatin1(text) : QStringLiteral("giflib error %1").arg(code));
}

QImage firstGifFrame(const QByteArray &value) {
  GifSource source{reinterpret_cast<const unsigned char *>(value.constData()), value.size(), 0};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&source, readGif, &error));
  if (!gif)
    gifFailed(error);
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
      gifFailed(gif->Error);
    if (type == TERMINATE_RECORD_TYPE)
      damaged(QStringLiteral("the GIF holds no picture"));
    if (type == EXTENSION_RECORD_TYPE) {
      // Transparency and timing are not used: the first frame is drawn opaque.
      int code = 0;
      GifByteType *block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR)
        gifFailed(gif->Error);
      while (block)
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
          gifFailed(gif->Error);
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE)
      damaged(QStringLiteral("the GIF has an unknown record"));
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
      gifFailed(gif->Error);
    break;
  }

  const GifImageDesc &frame = gif->Image;
  const qint64 width = frame.Width, height = frame.Height;
  if (width <= 0 || height <= 0)
    damaged(QStringLiteral("the GIF frame is %1 by %2 pixels").arg(width).arg(height));
  if (width * height > kMaxPixels)
    damaged(QStringLiteral("the GIF frame of %1 by %2 pixels is too large").arg(width).arg(height));
  // A 12-bit LZW code stands for at most 4096 pixels.
  detail::requirePlausibleSize(width * height, source.size - source.position, 4096 * 8 / 12,
                               "the GIF frame");
  const ColorMapObject *map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  if (!map || !map->Colors || map->ColorCount <= 0)
    damaged(QStringLiteral("the GIF frame has no colour table"));

  QImage image(int(width), int(height), QImage::Format_Indexed8);
  if (image.isNull())
    damaged(QStringLiteral("not enough memory for a GIF frame"));
  // Indices past the table are black; the transparent index is a colour.
  QList<QRgb> table(256, qRgb(0, 0, 0));
  for (int i = 0; i < std::min(map->ColorCount, 256); ++i)
    table[i] = qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
  image.setColorTable(table);

  auto readLine = [&](int y) {
    if (DGifGetLine(gif.get(), image.scanLine(y), int(width)) == GIF_ERROR)
      gifFailed(gif->Error);
  };
  if (frame.Interlace) {
    // The four passes of an interlaced frame: every 8th row from 0, every
    // 8th from 4, every 4th from 2, every 2nd from 1.
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (qint64 y = kStart[pass]; y < height; y += kStep[pass])
        readLine(int(y));
  } else {
    for (int y = 0; y < int(height); ++y)
      readLine(y);
  }
  return image;
}

// ---------------------------------------------------------------- BMP

QImage bmpImage(const QByteArray &value) {
  const Bytes bytes(value);
  bytes.need(0, 18, "the bitmap file header");
  if (bytes.u8(0) != 'B' || bytes.u8(1) != 'M')
    damaged(QStringLiteral("the value does not start with BM"));
  const std::uint32_t fileSize = bytes.u32(2);
  const std::uint32_t pixelOffset = bytes.u32(10);
  const Bytes dib = bytes.from(14, "the bitmap header");
  const detail::DibHeader header = detail::readDibHeader(dib);
  const qint64 headersEnd = 14 + header.headerSize;
  // A value shorter than the size its file header records was cut off.
  if (fileSize != 0 && (fileSize < headersEnd || fileSize > std::uint64_t(value.size())))
    damaged(QStringLiteral("the file header says %1 bytes, the value has %2")
                .arg(fileSize)
                .arg(value.size()));
  if (pixelOffset < headersEnd + header.maskBytes || pixelOffset > std::uint64_t(value.size()))
    damaged(QStringLiteral("the pixel offset %1 lies outside the value of %2 bytes")
                .arg(pixelOffset)
                .arg(value.size()));
  return detail::decodeDibPixels(dib, header, bytes.from(pixelOffset, "the bitmap's pixels"),
                                 detail::DibAlpha::Opaque);
}

// ---------------------------------------------------------------- ICO

struct IconCandidate {
  Bytes data;
  bool png = false;
  qint64 width = 0, height = 0;
  int bits = 0;
};

// What one directory entry's image data says of itself; the directory's own
// sizes are often wrong (0 means 256) and are not trusted.
IconCandidate iconCandidate(const Bytes &data) {
  IconCandidate c;
  c.data = data;
  static const char kPng[] = "\x89PNG\r\n\x1A\n";
  if (data.has(0, 8) && std::memcmp(data.data(), kPng, 8) == 0) {
    data.need(0, 33, "an icon's PNG header");
    c.png = true;
    auto big32 = [&](qint64 at) {
      return qint64(data.u8(at)) << 24 | data.u8(at + 1) << 16 | data.u8(at + 2) << 8 |
             data.u8(at + 3);
    };
    c.width = big32(16);
    c.height = big32(20);
    static constexpr int kChannels[] = {1, 0, 3, 1, 2, 0, 4};
    const int colourType = data.u8(25);
    c.bits = data.u8(24) * (colourType < 7 ? kChannels[colourType] : 0);
  } else {
    const detail::DibHeader header = detail::readDibHeader(data);
    c.width = header.width;
    c.height = header.height / 2; // the colour rows, then the mask's
    c.bits = header.bitCount;
  }
  if (c.width <= 0 || c.height <= 0)
    damaged(QStringLiteral("an icon image is %1 by %2 pixels").arg(c.width).arg(c.height));
  // A PNG header's sizes reach 2^32 - 1: bound each before multiplying.
  if (c.width > kMaxPixels || c.height > kMaxPixels || c.width * c.height > kMaxPixels)
    damaged(
        QStringLiteral("an icon image of %1 by %2 pixels is too large").arg(c.width).arg(c.height));
  return c;
}

QImage iconDibImage(const IconCandidate &c) {
  detail::DibHeader header = detail::readDibHeader(c.data);
  header.height = c.height;
  const qint64 colourBytes = header.stride() * header.height;
  const Bytes pixels = c.data.from(header.tableEnd(), "the icon's pixels");
  QImage image = detail::decodeDibPixels(c.data, header, pixels, detail::DibAlpha::FromPixels);
  image = image.convertToFormat(QImage::Format_ARGB32);
  const int width = image.width(), height = image.height();

  bool hasAlpha = false;
  if (header.bitCount == 32)
    for (int y = 0; y < height && !hasAlpha; ++y) {
      const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
      hasAlpha = std::any_of(line, line + width, [](QRgb p) { return qAlpha(p) != 0; });
    }
  if (hasAlpha)
    return image; // the alpha channel replaces the mask

  const qint64 maskStride = (qint64(width) + 31) / 32 * 4;
  if (!pixels.has(colourBytes, maskStride * height))
    damaged(QStringLiteral("the icon's mask runs past the end of the value"));
  const unsigned char *mask = pixels.data() + colourBytes;
  for (int r = 0; r < height; ++r) {
    const unsigned char *in = mask + r * maskStride;
    auto *line = reinterpret_cast<QRgb *>(image.scanLine(header.topDown ? r : height - 1 - r));
    for (int x = 0; x < width; ++x)
      line[x] = (in[x / 8] >> (7 - x % 8)) & 1 ? qRgba(0, 0, 0, 0) : line[x] | 0xFF000000u;
  }
  return image;
}

QImage icoImage(const QByteArray &value) {
  const Bytes bytes(value);
  bytes.need(0, 6, "the icon directory");
  if (bytes.u16(0) != 0 || bytes.u16(2) != 1)
    damaged(QStringLiteral("the value is no icon file"));
  const int count = bytes.u16(4);
  if (count == 0)
    damaged(QStringLiteral("the icon file holds no image"));
  bytes.need(6, qint64(count) * 16, "the icon directory");

  // The viewer shows the image a user would expect: the largest, and of
  // equally large ones the deepest-coloured; of equal ones the first.
  std::optional<IconCandidate> best;
  for (int i = 0; i < count; ++i) {
    const qint64 entry = 6 + qint64(i) * 16;
    const Bytes data = bytes.mid(bytes.u32(entry + 12), bytes.u32(entry + 8), "an icon image");
    const IconCandidate c = iconCandidate(data);
    if (!best || c.width * c.height > best->width * best->height ||
        (c.width * c.height == best->width * best->height && c.bits > best->bits))
      best = c;
  }

  if (!best->png)
    return iconDibImage(*best);
  QImage image;
  if (!image.loadFromData(best->data.data(), int(best->data.size()), "PNG"))
    damaged(QStringLiteral("the icon's PNG image cannot be read"));
  return image.convertToFormat(QImage::Format_ARGB32);
}

template <typename Decode>
DecodeResult guarded(PictureFormat format, Picture::Type type, Decode decode) {
  try {
    return decoded(format, imagePicture(type, decode()));
  } catch (const Damaged &e) {
    return failed(format, e.reason);
  } catch (const std::bad_alloc &) {
    return failed(format, QStringLiteral("not enough memory"));
  }
}

} // namespace

DecodeResult decodeJpeg(const QByteArray &value, const DecodeLimits &limits) {
  auto decoder = std::make_unique<JpegDecoder>();
  std::memset(decoder.get(), 0, sizeof *decoder);
  decoder->info.err = jpeg_std_error(&decoder->errors.manager);
  decoder->errors.manager.error_exit = jpegErrorExit;
  decoder->errors.manager.emit_message = jpegEmitMessage;
  decoder->errors.manager.output_message = jpegOutputMessage;
  decoder->progress.progress_monitor = jpegProgress;
  decoder->abandoned = limits.abandoned;
  QImage image;
  QSize full;
  QPoint origin;
  const bool ok =
      runJpeg(*decoder, reinterpret_cast<const unsigned char *>(value.constData()),
              static_cast<unsigned long>(value.size()), limits.shown, image, full, origin);
  jpeg_destroy_decompress(&decoder->info);
  if (!ok)
    return failed(PictureFormat::Jpeg, QString::fromLocal8Bit(decoder->errors.message));
  Picture picture = imagePicture(Picture::Type::Bitmap, std::move(image));
  picture.size = full;
  picture.origin = origin;
  return decoded(PictureFormat::Jpeg, std::move(picture));
}

DecodeResult decodeGif(const QByteArray &value) {
  return guarded(PictureFormat::Gif, Picture::Type::Bitmap, [&] { return firstGifFrame(value); });
}

DecodeResult decodeBmp(const QByteArray &value) {
  return guarded(PictureFormat::Bmp, Picture::Type::Bitmap, [&] { return bmpImage(value); });
}

DecodeResult decodeIco(const QByteArray &value) {
  return guarded(PictureFormat::Ico, Picture::Type::Icon, [&] { return icoImage(value); });
}

DecodeResult decodeWmf(const QByteArray &value, const DecodeLimits &limits) {
  WmfRendering rendering = renderWmf(value, limits.abandoned);
  if (!rendering.ok())
    return failed(PictureFormat::Wmf, rendering.error);
  Picture picture;
  picture.type = Picture::Type::Metafile;
  picture.metafile = std::move(rendering.picture);
  picture.size = rendering.size;
  if (limits.shown.isValid()) {
    // Drawn here rather than at every paint: a recording of many records
    // would take its time on each.
    const QSize part = picture.size.boundedTo(limits.shown);
    picture.origin = QPoint((picture.size.width() - part.width()) / 2,
                            (picture.size.height() - part.height()) / 2);
    picture.drawn = QImage(part, QImage::Format_ARGB32_Premultiplied);
    if (picture.drawn.isNull())
      return failed(PictureFormat::Wmf, QStringLiteral("not enough memory"));
    picture.drawn.fill(Qt::transparent);
    QPainter painter(&picture.drawn);
    painter.drawPicture(-picture.origin, picture.metafile);
  }
  return decoded(PictureFormat::Wmf, std::move(picture));
}

DecodeResult decodePicture(const QByteArray &value, const DecodeLimits &limits) {
  switch (pictureFormatOf(value)) {
  case PictureFormat::Jpeg:
    return decodeJpeg(value, limits);
  case PictureFormat::Gif:
    return decodeGif(value);
  case PictureFormat::Bmp:
    return decodeBmp(value);
  case PictureFormat::Wmf:
    return decodeWmf(value, limits);
  case PictureFormat::Ico:
    return decodeIco(value);
  case PictureFormat::None:
    break;
  }
  return decoded(PictureFormat::None, Picture());
}

QImage pictureImage(const Picture &picture) {
  switch (picture.type) {
  case Picture::Type::Bitmap:
  case Picture::Type::Icon:
    return picture.image;
  case Picture::Type::Metafile: {
    QImage image(picture.size, QImage::Format_RGB32);
    if (image.isNull())
      return image;
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.drawPicture(0, 0, picture.metafile);
    return image;
  }
  case Picture::Type::None:
    break;
  }
  return QImage();
}

} // namespace quillon::viewer
