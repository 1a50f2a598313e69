// The viewer's picture path: signatures, the JPEG, GIF, BMP, ICO decoders
// and the metafile renderer, on values made here and on the demo database's.
#include "viewer/PictureDecoders.h"
#include "viewer/Signature.h"

#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

#include <gif_lib.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator calls these hooks on every allocation; GCC
// installs no header declaring the function.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void *,
                                                                            std::size_t),
                                                         void (*freeHook)(const volatile void *));
#endif

using namespace quillon::viewer;

namespace {

// ---------------------------------------------------------------- helpers

QByteArray bytes(std::initializer_list<int> values) {
  QByteArray result;
  for (const int v : values)
    result.append(char(v));
  return result;
}

void putU16(QByteArray &out, int v) {
  out.append(char(v & 0xFF));
  out.append(char((v >> 8) & 0xFF));
}

void putU32(QByteArray &out, std::uint32_t v) {
  putU16(out, int(v & 0xFFFF));
  putU16(out, int(v >> 16));
}

void setU32(QByteArray &out, qsizetype at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out[at + i] = char((v >> (8 * i)) & 0xFF);
}

std::string describe(const DecodeResult &r) {
  if (!r.ok())
    return "failed: " + r.error.toStdString();
  return "decoded " + std::to_string(r.picture->size.width()) + "x" +
         std::to_string(r.picture->size.height());
}

// Decodes and expects a picture of the given type.
Picture decodeOk(const QByteArray &value, Picture::Type type) {
  const DecodeResult result = decodePicture(value);
  EXPECT_TRUE(result.ok()) << describe(result);
  EXPECT_TRUE(result.error.isEmpty());
  if (!result.ok())
    return Picture();
  EXPECT_EQ(int(result.picture->type), int(type));
  return *result.picture;
}

// Decodes and expects the whole value to fail with a reason.
void expectDamaged(const QByteArray &value, PictureFormat format, const char *what) {
  const DecodeResult result = decodePicture(value);
  EXPECT_EQ(int(result.format), int(format)) << what;
  EXPECT_FALSE(result.ok()) << what << ": " << describe(result);
  EXPECT_FALSE(result.error.isEmpty()) << what;
}

// Every strict prefix of a valid value: no picture while shorter than the
// signature, damaged from there on.
void expectEveryPrefixFails(const QByteArray &value, PictureFormat format) {
  for (qsizetype cut = 0; cut < value.size(); ++cut) {
    const QByteArray prefix = value.left(cut);
    if (pictureFormatOf(prefix) == PictureFormat::None) {
      const DecodeResult result = decodePicture(prefix);
      EXPECT_TRUE(result.ok() && result.picture->isNull()) << "cut at " << cut;
    } else {
      expectDamaged(prefix, format, ("cut at " + std::to_string(cut)).c_str());
    }
  }
}

QColor pixel(const QImage &image, int x, int y) {
  return image.pixelColor(x, y);
}

std::string colourText(QColor c) {
  return "(" + std::to_string(c.red()) + "," + std::to_string(c.green()) + "," +
         std::to_string(c.blue()) + "," + std::to_string(c.alpha()) + ")";
}

#define EXPECT_PIXEL(image, x, y, colour)                                                          \
  EXPECT_EQ(colourText(pixel(image, x, y)), colourText(QColor(colour))) << "at " << x << "," << y

// Whether two images hold the same opaque colours, reporting the first
// difference.
::testing::AssertionResult sameColours(const QImage &a, const QImage &b) {
  if (a.size() != b.size())
    return ::testing::AssertionFailure() << "sizes " << a.width() << "x" << a.height() << " and "
                                         << b.width() << "x" << b.height();
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y))
        return ::testing::AssertionFailure()
               << "first difference at " << x << "," << y << ": " << colourText(a.pixelColor(x, y))
               << " and " << colourText(b.pixelColor(x, y));
  return ::testing::AssertionSuccess();
}

// A picture with gradients and hard edges, at a size that is no multiple
// of a JPEG block.
QImage testImage(int width = 61, int height = 37) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x / 8 + y / 8) % 2 ? 230 : 20));
  return image;
}

// ---------------------------------------------------------------- JPEG maker

struct JpegOptions {
  bool progressive = false;
  bool exif = false; // an EXIF APP1 segment instead of the JFIF APP0
  int quality = 90;
};

// Compresses samples with libjpeg: components 1 (grey), 3 (RGB) or 4
// (CMYK, stored inverted with an Adobe marker as libjpeg writes it).
QByteArray compressJpeg(int width, int height, int components, const std::vector<JSAMPLE> &samples,
                        JpegOptions options = {}) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char *buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&info);
  if (components == 4)
    jpeg_set_colorspace(&info, JCS_CMYK);
  jpeg_set_quality(&info, options.quality, TRUE);
  if (options.progressive)
    jpeg_simple_progression(&info);
  if (options.exif)
    info.write_JFIF_header = FALSE;
  jpeg_start_compress(&info, TRUE);
  if (options.exif) {
    // "Exif", two zero bytes, then a little-endian TIFF header with an
    // empty first directory.
    static const JOCTET kExif[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0,
                                   8,   0,   0,   0,   0, 0, 0,   0,   0,  0};
    jpeg_write_marker(&info, JPEG_APP0 + 1, kExif, sizeof kExif);
  }
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPLE *>(samples.data()) +
                   std::size_t(info.next_scanline) * std::size_t(width * components);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  const QByteArray result(reinterpret_cast<const char *>(buffer), qsizetype(size));
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return result;
}

std::vector<JSAMPLE> rgbSamples(const QImage &image) {
  std::vector<JSAMPLE> samples;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      samples.insert(samples.end(), {JSAMPLE(qRed(p)), JSAMPLE(qGreen(p)), JSAMPLE(qBlue(p))});
    }
  return samples;
}

QByteArray jpegOf(const QImage &image, JpegOptions options = {}) {
  return compressJpeg(image.width(), image.height(), 3, rgbSamples(image), options);
}

QByteArray greyJpeg(int width, int height) {
  std::vector<JSAMPLE> samples;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      samples.push_back(JSAMPLE((x * 7 + y * 3) % 256));
  return compressJpeg(width, height, 1, samples);
}

// djpeg's reading of a JPEG file as PPM (colour) or PGM (grey): the bytes
// of every row without padding, and the image's size.
struct Reference {
  QSize size;
  int channels = 0;
  QByteArray pixels;
};

Reference djpeg(const QByteArray &jpeg) {
  Reference ref;
  const QString program = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
  if (program.isEmpty()) {
    ADD_FAILURE() << "djpeg not found: install libjpeg-turbo-progs (scripts/install-deps)";
    return ref;
  }
  quillon::test::ScratchDir scratch;
  QFile file(scratch.file(QStringLiteral("in.jpg")));
  if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size()) {
    ADD_FAILURE() << "cannot write " << file.fileName().toStdString();
    return ref;
  }
  file.close();
  QProcess process;
  process.start(program, {QStringLiteral("-pnm"), file.fileName()});
  if (!process.waitForFinished(30000) || process.exitCode() != 0) {
    ADD_FAILURE() << "djpeg failed: " << process.readAllStandardError().toStdString();
    return ref;
  }
  const QByteArray out = process.readAllStandardOutput();
  // "P6" or "P5", width, height, maximum, one whitespace byte, the samples.
  QList<QByteArray> fields;
  qsizetype pos = 0;
  while (fields.size() < 4 && pos < out.size()) {
    while (pos < out.size() && std::isspace(static_cast<unsigned char>(out[pos])))
      ++pos;
    const qsizetype start = pos;
    while (pos < out.size() && !std::isspace(static_cast<unsigned char>(out[pos])))
      ++pos;
    fields.append(out.mid(start, pos - start));
  }
  if (fields.size() != 4 || (fields[0] != "P6" && fields[0] != "P5") || fields[3] != "255") {
    ADD_FAILURE() << "djpeg wrote no 8-bit PNM";
    return ref;
  }
  ref.channels = fields[0] == "P6" ? 3 : 1;
  ref.size = QSize(fields[1].toInt(), fields[2].toInt());
  ref.pixels = out.mid(pos + 1);
  return ref;
}

// Our decoding of `jpeg` against djpeg's, byte for byte.
void expectSameAsDjpeg(const QByteArray &jpeg) {
  const Picture picture = decodeOk(jpeg, Picture::Type::Bitmap);
  const Reference ref = djpeg(jpeg);
  ASSERT_EQ(picture.image.size(), ref.size);
  ASSERT_EQ(picture.image.format(),
            ref.channels == 3 ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
  const int rowBytes = ref.size.width() * ref.channels;
  ASSERT_EQ(ref.pixels.size(), qsizetype(rowBytes) * ref.size.height());
  for (int y = 0; y < ref.size.height(); ++y) {
    const QByteArray ours(reinterpret_cast<const char *>(picture.image.constScanLine(y)), rowBytes);
    ASSERT_EQ(ours, ref.pixels.mid(qsizetype(y) * rowBytes, rowBytes)) << "row " << y;
  }
}

// ---------------------------------------------------------------- GIF maker

struct GifFrame {
  int left = 0, top = 0, width = 1, height = 1;
  bool interlace = false;
  std::vector<GifColorType> localMap = {}; // empty: the global map
  std::vector<GifByteType> pixels = {};    // row by row, top row first
  int transparent = -1;                    // a graphic control extension's index
};

int appendGif(GifFileType *gif, const GifByteType *data, int length) {
  static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(data), length);
  return length;
}

// Writes a GIF with giflib. Colour maps have a power-of-two size.
QByteArray makeGif(int width, int height, const std::vector<GifColorType> &globalMap,
                   const std::vector<GifFrame> &frames) {
  QByteArray out;
  int error = 0;
  GifFileType *gif = EGifOpen(&out, appendGif, &error);
  if (!gif) {
    ADD_FAILURE() << "EGifOpen: " << GifErrorString(error);
    return out;
  }
  EGifSetGifVersion(gif, true);
  auto mapOf = [](const std::vector<GifColorType> &colours) -> ColorMapObject * {
    return colours.empty() ? nullptr : GifMakeMapObject(int(colours.size()), colours.data());
  };
  ColorMapObject *global = mapOf(globalMap);
  bool ok = EGifPutScreenDesc(gif, width, height, 8, 0, global) == GIF_OK;
  GifFreeMapObject(global);
  for (const GifFrame &frame : frames) {
    if (frame.transparent >= 0) {
      const GifByteType control[] = {1, 0, 0, GifByteType(frame.transparent)};
      ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK;
    }
    ColorMapObject *local = mapOf(frame.localMap);
    ok = ok && EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height,
                                frame.interlace, local) == GIF_OK;
    GifFreeMapObject(local);
    // An interlaced frame's rows are written in the order of its passes.
    std::vector<int> order;
    if (frame.interlace) {
      for (const auto &[start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int y = start; y < frame.height; y += step)
          order.push_back(y);
    } else {
      for (int y = 0; y < frame.height; ++y)
        order.push_back(y);
    }
    for (const int y : order)
      ok = ok && EGifPutLine(gif,
                             const_cast<GifByteType *>(frame.pixels.data()) +
                                 std::size_t(y) * std::size_t(frame.width),
                             frame.width) == GIF_OK;
  }
  EXPECT_TRUE(ok) << "giflib: " << GifErrorString(gif->Error);
  EGifCloseFile(gif, &error);
  return out;
}

const std::vector<GifColorType> kRgbwMap{{255, 0, 0}, {0, 0, 255}, {0, 160, 0}, {255, 255, 255}};

std::vector<GifByteType> filled(int width, int height, GifByteType index) {
  return std::vector<GifByteType>(std::size_t(width * height), index);
}

// ---------------------------------------------------------------- DIB maker

// A packed DIB of an image: BITMAPINFOHEADER, palette, rows bottom-up (or
// top-down with a negative height). bits: 1, 4, 8 (through a palette of
// the image's colours), 24 or 32.
QByteArray dibOf(const QImage &image, int bits, bool topDown = false, QList<QRgb> palette = {}) {
  const int width = image.width(), height = image.height();
  if (bits <= 8 && palette.isEmpty())
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (!palette.contains(image.pixel(x, y) | 0xFF000000u))
          palette.append(image.pixel(x, y) | 0xFF000000u);
  QByteArray out;
  putU32(out, 40);
  putU32(out, std::uint32_t(width));
  putU32(out, std::uint32_t(topDown ? -height : height));
  putU16(out, 1);
  putU16(out, bits);
  putU32(out, 0); // BI_RGB
  putU32(out, 0);
  putU32(out, 2835);
  putU32(out, 2835);
  putU32(out, bits <= 8 ? std::uint32_t(palette.size()) : 0);
  putU32(out, 0);
  for (const QRgb c : palette)
    out.append(bytes({qBlue(c), qGreen(c), qRed(c), 0}));
  const int stride = (width * bits + 31) / 32 * 4;
  for (int r = 0; r < height; ++r) {
    const int y = topDown ? r : height - 1 - r;
    QByteArray row(stride, '\0');
    for (int x = 0; x < width; ++x) {
      const QRgb p = image.pixel(x, y);
      const int index = bits <= 8 ? int(palette.indexOf(p | 0xFF000000u)) : 0;
      switch (bits) {
      case 1:
        row[x / 8] = char(row[x / 8] | index << (7 - x % 8));
        break;
      case 4:
        row[x / 2] = char(row[x / 2] | index << (x % 2 ? 0 : 4));
        break;
      case 8:
        row[x] = char(index);
        break;
      case 24:
        row[3 * x] = char(qBlue(p)), row[3 * x + 1] = char(qGreen(p)),
                row[3 * x + 2] = char(qRed(p));
        break;
      case 32:
        row[4 * x] = char(qBlue(p)), row[4 * x + 1] = char(qGreen(p)),
                row[4 * x + 2] = char(qRed(p)), row[4 * x + 3] = char(qAlpha(p));
        break;
      }
    }
    out.append(row);
  }
  return out;
}

QByteArray bmpFileOf(const QByteArray &dib, int paletteBytes) {
  QByteArray out("BM");
  putU32(out, std::uint32_t(14 + dib.size()));
  putU32(out, 0);
  putU32(out, std::uint32_t(14 + 40 + paletteBytes));
  return out + dib;
}

QImage blocks(int width, int height, std::initializer_list<QRgb> colours) {
  const std::vector<QRgb> list(colours);
  QImage image(width, height, QImage::Format_ARGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.setPixel(x, y, list[std::size_t((x * 2 / width) + 2 * (y * 2 / height)) % list.size()]);
  return image;
}

// ---------------------------------------------------------------- WMF maker

// A placeable metafile written record by record, parameters as 16-bit
// words in the order the records store them.
class Wmf {
public:
  Wmf(int left, int top, int right, int bottom, int unitsPerInch)
      : box_{left, top, right, bottom}, inch_(unitsPerInch) {}

  Wmf &record(int function, std::vector<int> params) {
    QByteArray r;
    putU32(r, std::uint32_t(3 + params.size()));
    putU16(r, function);
    for (const int p : params)
      putU16(r, p);
    records_ += r;
    return *this;
  }
  Wmf &raw(const QByteArray &r) {
    records_ += r;
    return *this;
  }

  Wmf &windowOrg(int x, int y) { return record(0x020B, {y, x}); }
  Wmf &windowExt(int x, int y) { return record(0x020C, {y, x}); }
  Wmf &pen(int style, int width, QRgb c) {
    return record(0x02FA, {style, width, 0, qRed(c) | qGreen(c) << 8, qBlue(c)});
  }
  Wmf &brush(int style, QRgb c, int hatch = 0) {
    return record(0x02FC, {style, qRed(c) | qGreen(c) << 8, qBlue(c), hatch});
  }
  Wmf &select(int index) { return record(0x012D, {index}); }
  Wmf &deleteObject(int index) { return record(0x01F0, {index}); }
  Wmf &rectangle(int l, int t, int r, int b) { return record(0x041B, {b, r, t, l}); }
  Wmf &ellipse(int l, int t, int r, int b) { return record(0x0418, {b, r, t, l}); }
  Wmf &moveTo(int x, int y) { return record(0x0214, {y, x}); }
  Wmf &lineTo(int x, int y) { return record(0x0213, {y, x}); }
  Wmf &polygon(std::vector<QPoint> points) {
    std::vector<int> params{int(points.size())};
    for (const QPoint p : points)
      params.insert(params.end(), {p.x(), p.y()});
    return record(0x0324, params);
  }
  Wmf &font(int height, const char *face, int weight = 400) {
    std::vector<int> params{height, 0, 0, 0, weight, 0, 0, 0, 0};
    QByteArray name(face);
    name.append('\0');
    if (name.size() % 2)
      name.append('\0');
    for (qsizetype i = 0; i < name.size(); i += 2)
      params.push_back(uchar(name[i]) | uchar(name[i + 1]) << 8);
    return record(0x02FB, params);
  }
  Wmf &textOut(int x, int y, const QByteArray &text) {
    std::vector<int> params{int(text.size())};
    QByteArray padded = text;
    if (padded.size() % 2)
      padded.append('\0');
    for (qsizetype i = 0; i < padded.size(); i += 2)
      params.push_back(uchar(padded[i]) | uchar(padded[i + 1]) << 8);
    params.insert(params.end(), {y, x});
    return record(0x0521, params);
  }
  // StretchDIB of a whole packed DIB onto a logical rectangle.
  Wmf &stretchDib(int x, int y, int width, int height, const QImage &image, int bits = 24) {
    return stretchDib(x, y, width, height, image.rect(), dibOf(image, bits));
  }
  // `source` in the bitmap's own coordinates: rows count from the bottom
  // in a bottom-up bitmap.
  Wmf &stretchDib(int x, int y, int width, int height, QRect source, const QByteArray &dib) {
    std::vector<int> params{0x0020,         0x00CC,     0,          source.height(),
                            source.width(), source.y(), source.x(), height,
                            width,          y,          x};
    for (qsizetype i = 0; i < dib.size(); i += 2)
      params.push_back(uchar(dib[i]) | (i + 1 < dib.size() ? uchar(dib[i + 1]) << 8 : 0));
    return record(0x0F43, params);
  }

  Wmf &saveDC() { return record(0x001E, {}); }
  Wmf &restoreDC(int which) { return record(0x0127, {which}); }
  Wmf &intersectClip(int l, int t, int r, int b) { return record(0x0416, {b, r, t, l}); }
  Wmf &excludeClip(int l, int t, int r, int b) { return record(0x0415, {b, r, t, l}); }
  Wmf &textAlign(int align) { return record(0x012E, {align}); }
  Wmf &transparentText() { return record(0x0102, {1}); }
  Wmf &polyPolygon(std::vector<std::vector<QPoint>> polygons) {
    std::vector<int> params{int(polygons.size())};
    for (const auto &polygon : polygons)
      params.push_back(int(polygon.size()));
    for (const auto &polygon : polygons)
      for (const QPoint p : polygon)
        params.insert(params.end(), {p.x(), p.y()});
    return record(0x0538, params);
  }
  // ExtTextOut; `rect` is written when the options ask for it.
  Wmf &extTextOut(int x, int y, int options, QRect rect, const QByteArray &text,
                  std::vector<int> advances = {}) {
    std::vector<int> params{y, x, int(text.size()), options};
    if (options & 6)
      params.insert(params.end(), {rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1});
    appendWords(params, text);
    params.insert(params.end(), advances.begin(), advances.end());
    return record(0x0A32, params);
  }
  // A record whose parameters end in a packed DIB.
  Wmf &withDib(int function, std::vector<int> params, const QByteArray &dib) {
    appendWords(params, dib);
    return record(function, params);
  }

  QByteArray bytes(bool eof = true, int breakChecksum = 0) const {
    QByteArray records = records_;
    if (eof)
      records += QByteArray::fromHex("030000000000");
    QByteArray out;
    std::vector<int> header{0xCDD7, 0x9AC6, 0, box_[0], box_[1], box_[2], box_[3], inch_, 0, 0};
    int checksum = 0;
    for (const int w : header) {
      putU16(out, w);
      checksum ^= w & 0xFFFF;
    }
    putU16(out, checksum ^ breakChecksum);
    putU16(out, 1);
    putU16(out, 9);
    putU16(out, 0x0300);
    putU32(out, std::uint32_t(9 + records.size() / 2));
    putU16(out, 8);
    putU32(out, 64);
    putU16(out, 0);
    return out + records;
  }

private:
  static void appendWords(std::vector<int> &params, const QByteArray &bytes) {
    for (qsizetype i = 0; i < bytes.size(); i += 2)
      params.push_back(uchar(bytes[i]) | (i + 1 < bytes.size() ? uchar(bytes[i + 1]) << 8 : 0));
  }

  int box_[4];
  int inch_;
  QByteArray records_;
};

constexpr QRgb kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF, kBlack = 0xFF000000,
               kGreen = 0xFF00A000;
constexpr int kNullPen = 5;

QImage render(const QByteArray &wmf) {
  const Picture picture = decodeOk(wmf, Picture::Type::Metafile);
  return pictureImage(picture);
}

// A metafile whose red rectangle lies at known pixels.
Wmf redRectangle() {
  Wmf wmf(0, 0, 100, 50, 96);
  wmf.windowOrg(0, 0).windowExt(100, 50);
  wmf.pen(kNullPen, 0, kBlack).select(0);
  wmf.brush(0, kRed).select(1);
  wmf.rectangle(10, 10, 31, 21);
  return wmf;
}

} // namespace

// ---------------------------------------------------------------- signature

TEST(PictureSignature, FirstBytesChooseTheFormat) {
  struct Case {
    QByteArray value;
    PictureFormat format;
  };
  const Case cases[] = {
      {bytes({0xFF, 0xD8, 0xFF, 0xE0}), PictureFormat::Jpeg},
      {bytes({0xFF, 0xD8, 0xFF}), PictureFormat::Jpeg},
      {QByteArray("GIF89a"), PictureFormat::Gif},
      {QByteArray("GIF"), PictureFormat::Gif},
      {QByteArray("BM\x36\x00"), PictureFormat::Bmp},
      {QByteArray("BM"), PictureFormat::Bmp},
      {bytes({0xD7, 0xCD, 0xC6, 0x9A}), PictureFormat::Wmf},
      {bytes({0xD7, 0xCD, 0xC6}), PictureFormat::Wmf},
      {bytes({0x00, 0x00, 0x01, 0x00}), PictureFormat::Ico},
      {bytes({0x00, 0x00, 0x01}), PictureFormat::Ico},
      // Shorter than the signature, or another one.
      {QByteArray(), PictureFormat::None},
      {bytes({0xFF}), PictureFormat::None},
      {bytes({0xFF, 0xD8}), PictureFormat::None},
      {QByteArray("GI"), PictureFormat::None},
      {QByteArray("B"), PictureFormat::None},
      {bytes({0xD7, 0xCD}), PictureFormat::None},
      {bytes({0x00, 0x00}), PictureFormat::None},
      {bytes({0x00, 0x00, 0x02, 0x00}), PictureFormat::None}, // a cursor file
      {bytes({0xFF, 0xD9, 0xFF}), PictureFormat::None},
      {QByteArray("gif89a"), PictureFormat::None},
      {QByteArray("\x89PNG\r\n\x1A\n"), PictureFormat::None},
      {QByteArray("{\\rtf1\\ansi"), PictureFormat::None},
      {QByteArray(" BM"), PictureFormat::None},
  };
  for (const Case &c : cases)
    EXPECT_EQ(int(pictureFormatOf(c.value)), int(c.format)) << c.value.toHex().toStdString();
}

TEST(PictureSignature, OnlyTheFirstSixteenBytesCount) {
  EXPECT_EQ(kSignatureBytes, 16);
  QByteArray value(40, 'x');
  value.replace(16, 3, "GIF");
  EXPECT_EQ(pictureFormatOf(value), PictureFormat::None);
  value.replace(0, 3, "GIF");
  EXPECT_EQ(pictureFormatOf(value), PictureFormat::Gif);
}

TEST(PictureSignature, ShortValuesAndOtherFormatsAreNoPicture) {
  const QByteArray png = [] {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(testImage().save(&buffer, "PNG"));
    return out;
  }();
  for (const QByteArray &value :
       {QByteArray(), bytes({0xFF}), bytes({0xFF, 0xD8}), bytes({0x00, 0x00}), png,
        QByteArray("Plain text, not a picture.")}) {
    const DecodeResult result = decodePicture(value);
    EXPECT_EQ(result.format, PictureFormat::None);
    ASSERT_TRUE(result.ok()) << describe(result);
    EXPECT_TRUE(result.picture->isNull());
    EXPECT_EQ(int(result.picture->type), int(Picture::Type::None));
    EXPECT_TRUE(result.error.isEmpty());
    EXPECT_TRUE(pictureImage(*result.picture).isNull());
  }
}

TEST(PictureSignature, TwoBytesOfASignatureFailAsDamaged) {
  expectDamaged(QByteArray("BM"), PictureFormat::Bmp, "BM alone");
}

// ---------------------------------------------------------------- JPEG

TEST(JpegDecoder, MatchesDjpegPixelForPixel) {
  expectSameAsDjpeg(jpegOf(testImage()));
  expectSameAsDjpeg(jpegOf(testImage(16, 16), {.quality = 100}));
  expectSameAsDjpeg(jpegOf(testImage(1, 1)));
}

TEST(JpegDecoder, ProgressiveFileMatchesDjpeg) {
  const QByteArray jpeg = jpegOf(testImage(), {.progressive = true});
  ASSERT_NE(jpeg.indexOf("\xFF\xC2"), -1) << "no progressive frame";
  expectSameAsDjpeg(jpeg);
}

TEST(JpegDecoder, GreyscaleGivesEightBitGrey) {
  const QByteArray jpeg = greyJpeg(45, 29);
  const Picture picture = decodeOk(jpeg, Picture::Type::Bitmap);
  EXPECT_EQ(picture.image.format(), QImage::Format_Grayscale8);
  EXPECT_EQ(picture.size, QSize(45, 29));
  expectSameAsDjpeg(jpeg);
}

TEST(JpegDecoder, ExifInsteadOfJfifDecodes) {
  const QByteArray jpeg = jpegOf(testImage(), {.exif = true});
  ASSERT_EQ(jpeg.mid(2, 2), bytes({0xFF, 0xE1})) << "APP1 should follow SOI";
  ASSERT_EQ(jpeg.indexOf("JFIF"), -1);
  expectSameAsDjpeg(jpeg);
}

TEST(JpegDecoder, AdobeCmykBecomesRgb) {
  // Inverted CMYK, as Adobe stores it: 255 is no ink. Red is full magenta
  // and yellow, blue full cyan and magenta; the right half has black ink.
  const int width = 32, height = 16;
  std::vector<JSAMPLE> samples;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool red = y < height / 2;
      const JSAMPLE k = x < width / 2 ? 255 : 127;
      samples.insert(samples.end(), {JSAMPLE(red ? 255 : 0), 0, JSAMPLE(red ? 0 : 255), k});
    }
  const QByteArray jpeg = compressJpeg(width, height, 4, samples, {.quality = 100});
  const Picture picture = decodeOk(jpeg, Picture::Type::Bitmap);
  ASSERT_EQ(picture.image.format(), QImage::Format_RGB888);
  auto near = [](QColor c, int r, int g, int b) {
    return std::abs(c.red() - r) <= 6 && std::abs(c.green() - g) <= 6 &&
           std::abs(c.blue() - b) <= 6;
  };
  EXPECT_TRUE(near(pixel(picture.image, 4, 3), 255, 0, 0))
      << colourText(pixel(picture.image, 4, 3));
  EXPECT_TRUE(near(pixel(picture.image, 4, 12), 0, 0, 255))
      << colourText(pixel(picture.image, 4, 12));
  EXPECT_TRUE(near(pixel(picture.image, 27, 3), 127, 0, 0))
      << colourText(pixel(picture.image, 27, 3));
  // djpeg converts CMYK the same way.
  expectSameAsDjpeg(jpeg);
}

TEST(JpegDecoder, TruncatedOrDamagedFilesFail) {
  const QByteArray jpeg = jpegOf(testImage());
  // Cut anywhere, even just before the end-of-image marker (libjpeg's
  // read-ahead cannot tell it from missing data): the file is incomplete.
  for (const qsizetype cut : {qsizetype(3), qsizetype(20), jpeg.size() / 3, jpeg.size() / 2,
                              jpeg.size() - 40, jpeg.size() - 2})
    expectDamaged(jpeg.left(cut), PictureFormat::Jpeg, "truncated JPEG");

  // A frame header claiming 0 columns.
  QByteArray zeroWidth = jpeg;
  const qsizetype sof = zeroWidth.indexOf("\xFF\xC0");
  ASSERT_GT(sof, 0);
  zeroWidth[sof + 7] = 0, zeroWidth[sof + 8] = 0;
  expectDamaged(zeroWidth, PictureFormat::Jpeg, "zero width");

  // A frame header claiming 60000 by 60000 pixels fails before decoding.
  QByteArray huge = jpeg;
  huge[sof + 5] = char(0xEA), huge[sof + 6] = char(0x60);
  huge[sof + 7] = char(0xEA), huge[sof + 8] = char(0x60);
  expectDamaged(huge, PictureFormat::Jpeg, "huge");

  // Garbage after the signature.
  expectDamaged(bytes({0xFF, 0xD8, 0xFF, 0x00, 0x01, 0x02}), PictureFormat::Jpeg, "garbage");
}

TEST(JpegDecoder, EveryPrefixFails) {
  expectEveryPrefixFails(jpegOf(testImage(24, 16)), PictureFormat::Jpeg);
  expectEveryPrefixFails(jpegOf(testImage(24, 16), {.progressive = true}), PictureFormat::Jpeg);
}

// ---------------------------------------------------------------- GIF

TEST(GifDecoder, AnimatedGifGivesItsFirstFrameAtItsOwnSize) {
  GifFrame first{.left = 3, .top = 2, .width = 10, .height = 8};
  first.pixels = filled(10, 8, 0); // red
  GifFrame second{.width = 20, .height = 20};
  second.pixels = filled(20, 20, 1); // blue
  const QByteArray gif = makeGif(20, 20, kRgbwMap, {first, second});
  const Picture picture = decodeOk(gif, Picture::Type::Bitmap);
  EXPECT_EQ(picture.size, QSize(10, 8));
  for (const QPoint p : {QPoint(0, 0), QPoint(9, 7), QPoint(5, 4)})
    EXPECT_PIXEL(picture.image, p.x(), p.y(), kRed);
}

TEST(GifDecoder, TransparentColourIsDrawnOpaque) {
  GifFrame frame{.width = 4, .height = 4, .transparent = 0};
  frame.pixels = filled(4, 4, 0);
  frame.pixels[5] = 2;
  const Picture picture = decodeOk(makeGif(4, 4, kRgbwMap, {frame}), Picture::Type::Bitmap);
  EXPECT_PIXEL(picture.image, 0, 0, kRed);
  EXPECT_PIXEL(picture.image, 1, 1, kGreen);
  EXPECT_FALSE(picture.image.hasAlphaChannel());
}

TEST(GifDecoder, InterlacedFrameIsDeinterlaced) {
  GifFrame frame{.width = 3, .height = 19, .interlace = true};
  for (int y = 0; y < 19; ++y)
    for (int x = 0; x < 3; ++x)
      frame.pixels.push_back(GifByteType(y % 4));
  const Picture picture = decodeOk(makeGif(3, 19, kRgbwMap, {frame}), Picture::Type::Bitmap);
  const QRgb colours[] = {kRed, kBlue, kGreen, kWhite};
  for (int y = 0; y < 19; ++y)
    EXPECT_PIXEL(picture.image, 1, y, colours[y % 4]);
}

TEST(GifDecoder, LocalColourMapWinsOverTheGlobalOne) {
  GifFrame frame{.width = 2, .height = 2};
  frame.localMap = {{0, 0, 255}, {255, 0, 0}};
  frame.pixels = {0, 1, 1, 0};
  const Picture picture = decodeOk(makeGif(2, 2, kRgbwMap, {frame}), Picture::Type::Bitmap);
  EXPECT_PIXEL(picture.image, 0, 0, kBlue);
  EXPECT_PIXEL(picture.image, 1, 0, kRed);
  // And without a global map at all.
  const Picture local = decodeOk(makeGif(2, 2, {}, {frame}), Picture::Type::Bitmap);
  EXPECT_PIXEL(local.image, 0, 0, kBlue);
}

TEST(GifDecoder, DamagedGifsFail) {
  GifFrame frame{.width = 16, .height = 16};
  for (int i = 0; i < 256; ++i)
    frame.pixels.push_back(GifByteType((i * 7 / 3) % 4));
  const QByteArray gif = makeGif(16, 16, kRgbwMap, {frame});
  // Every cut before the frame's last data block ends fails.
  const qsizetype dataEnd = gif.size() - 2; // block terminator, trailer
  for (qsizetype cut = 0; cut < dataEnd; ++cut) {
    const DecodeResult result = decodeGif(gif.left(cut));
    EXPECT_FALSE(result.ok()) << "cut at " << cut;
    EXPECT_FALSE(result.error.isEmpty()) << "cut at " << cut;
  }
  // A 1 by 1 frame with neither a global nor a local colour table.
  const QByteArray noMap = QByteArray("GIF89a") + bytes({1, 0, 1, 0, 0, 0, 0}) +
                           bytes({0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0}) +
                           bytes({2, 2, 0x44, 0x01, 0, 0x3B});
  expectDamaged(noMap, PictureFormat::Gif, "no colour table");
  // Only a header and a trailer: no picture.
  expectDamaged(QByteArray("GIF89a") + bytes({1, 0, 1, 0, 0, 0, 0, 0x3B}), PictureFormat::Gif,
                "no frame");
}

// ---------------------------------------------------------------- BMP

TEST(BmpDecoder, QtWrittenBitmapsDecodeToTheirPixels) {
  for (const QImage::Format format :
       {QImage::Format_RGB32, QImage::Format_Indexed8, QImage::Format_Mono}) {
    QImage source = testImage(29, 17);
    if (format != QImage::Format_RGB32)
      source = source.convertToFormat(format, Qt::ThresholdDither);
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(source.save(&buffer, "BMP"));
    const Picture picture = decodeOk(bmp, Picture::Type::Bitmap);
    EXPECT_TRUE(sameColours(picture.image, source.convertToFormat(QImage::Format_RGB32)))
        << "format " << int(format);
  }
}

TEST(BmpDecoder, BitDepthsAndRowOrders) {
  const QImage source = blocks(13, 6, {kRed, kBlue, kGreen, kWhite});
  for (const int bits : {1, 4, 8, 24, 32})
    for (const bool topDown : {false, true}) {
      const QImage image = bits == 1 ? blocks(13, 6, {kBlack, kWhite}) : source;
      const QByteArray dib = dibOf(image, bits, topDown);
      const int palette = int(dib.size() - 40 - (image.width() * bits + 31) / 32 * 4 * 6);
      const Picture picture = decodeOk(bmpFileOf(dib, palette), Picture::Type::Bitmap);
      EXPECT_TRUE(sameColours(picture.image, image.convertToFormat(QImage::Format_RGB32)))
          << bits << " bits, top-down " << topDown;
    }
}

TEST(BmpDecoder, RunLengthEncodedEightBit) {
  // 4 by 3: a run of 3 red and one literal blue per row, bottom row first.
  QByteArray dib;
  for (const int v : {40, 4, 3})
    putU32(dib, std::uint32_t(v));
  putU16(dib, 1);
  putU16(dib, 8);
  putU32(dib, 1); // BI_RLE8
  for (int i = 0; i < 5; ++i)
    putU32(dib, i == 3 ? 2 : 0);              // 2 colours used
  dib += bytes({0, 0, 255, 0, 255, 0, 0, 0}); // red, blue
  const QByteArray row = bytes({3, 0, 1, 1, 0, 0});
  dib += row + row + bytes({3, 1, 1, 0, 0, 1}); // top row: blue, red
  QByteArray bmp = bmpFileOf(dib, 8);
  const Picture picture = decodeOk(bmp, Picture::Type::Bitmap);
  EXPECT_PIXEL(picture.image, 0, 2, kRed);
  EXPECT_PIXEL(picture.image, 3, 2, kBlue);
  EXPECT_PIXEL(picture.image, 0, 0, kBlue);
  EXPECT_PIXEL(picture.image, 3, 0, kRed);
  // Without its last codes the pixels are incomplete.
  bmp.chop(4);
  setU32(bmp, 2, std::uint32_t(bmp.size()));
  expectDamaged(bmp, PictureFormat::Bmp, "cut RLE");
}

TEST(BmpDecoder, DamagedHeadersFail) {
  const QByteArray good = bmpFileOf(dibOf(blocks(8, 4, {kRed, kBlue}), 24), 0);
  decodeOk(good, Picture::Type::Bitmap);

  struct Damage {
    const char *what;
    std::function<void(QByteArray &)> apply;
  };
  const Damage damages[] = {
      {"file size beyond the value",
       [](QByteArray &b) { setU32(b, 2, std::uint32_t(b.size() + 1)); }},
      {"pixel offset beyond the value", [](QByteArray &b) { setU32(b, 10, 100000); }},
      {"pixel offset inside the header", [](QByteArray &b) { setU32(b, 10, 20); }},
      {"header size 41", [](QByteArray &b) { setU32(b, 14, 41); }},
      {"header size beyond the value", [](QByteArray &b) { setU32(b, 14, 0x7FFFFFFF); }},
      {"width 0", [](QByteArray &b) { setU32(b, 18, 0); }},
      {"negative width", [](QByteArray &b) { setU32(b, 18, std::uint32_t(-8)); }},
      {"height 0", [](QByteArray &b) { setU32(b, 22, 0); }},
      {"huge", [](QByteArray &b) { setU32(b, 18, 100000), setU32(b, 22, 100000); }},
      {"2 planes", [](QByteArray &b) { b[26] = 2; }},
      {"7 bits a pixel", [](QByteArray &b) { b[28] = 7; }},
      {"JPEG compression", [](QByteArray &b) { setU32(b, 30, 4); }},
      {"RLE8 at 24 bits", [](QByteArray &b) { setU32(b, 30, 1); }},
      {"pixels cut", [](QByteArray &b) { b.chop(1), setU32(b, 2, 0); }},
      {"colour table beyond the value", [](QByteArray &b) { b[28] = 8, setU32(b, 46, 100000); }},
  };
  for (const Damage &d : damages) {
    QByteArray value = good;
    d.apply(value);
    expectDamaged(value, PictureFormat::Bmp, d.what);
  }
  expectDamaged(QByteArray("BMW drivers wrote this text; it is no bitmap at all.\n"),
                PictureFormat::Bmp, "text starting with BM");
  expectEveryPrefixFails(good, PictureFormat::Bmp);
}

// ---------------------------------------------------------------- bounds

namespace {

// The largest single allocation made while `work` runs: the sanitizer's
// allocator reports each one (the tests always run under it). Without it
// the count stays 0 and the refusal's own message is what the tests see.
std::atomic<bool> watchingAllocations{false};
std::atomic<std::size_t> largestAllocation{0};

#if defined(__SANITIZE_ADDRESS__)
void noteAllocation(const volatile void *, std::size_t size) {
  if (!watchingAllocations.load(std::memory_order_relaxed))
    return;
  std::size_t seen = largestAllocation.load(std::memory_order_relaxed);
  while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
  }
}
void noteFree(const volatile void *) {}
const bool allocationHooks =
    __sanitizer_install_malloc_and_free_hooks(noteAllocation, noteFree) != 0;
#else
const bool allocationHooks = true;
#endif

template <typename Work> std::size_t largestAllocationDuring(Work work) {
  largestAllocation = 0;
  watchingAllocations = true;
  work();
  watchingAllocations = false;
  return largestAllocation;
}

constexpr std::size_t kMb = 1 << 20;

// A BMP of RLE8 codes drawing every row in runs of one colour.
QByteArray flatRle8Bitmap(int width, int height) {
  QByteArray dib;
  for (const int v : {40, width, height})
    putU32(dib, std::uint32_t(v));
  putU16(dib, 1);
  putU16(dib, 8);
  putU32(dib, 1); // BI_RLE8
  for (int i = 0; i < 5; ++i)
    putU32(dib, i == 3 ? 1 : 0);
  dib += bytes({0, 160, 0, 0});
  QByteArray row;
  for (int left = width; left > 0; left -= 255)
    row += bytes({std::min(left, 255), 0});
  row += bytes({0, 0});
  for (int y = 0; y < height; ++y)
    dib += row;
  dib.chop(2);
  dib += bytes({0, 1});
  return bmpFileOf(dib, 4);
}

// Where a baseline JPEG's frame header keeps its height and width.
qsizetype jpegFrameSize(const QByteArray &jpeg) {
  const qsizetype sof = jpeg.indexOf("\xff\xc0");
  EXPECT_GT(sof, 0);
  return sof + 5;
}

void setU16BigEndian(QByteArray &out, qsizetype at, int v) {
  out[at] = char(v >> 8);
  out[at + 1] = char(v & 0xff);
}

} // namespace

TEST(DecodeBounds, HeadersClaimingMorePixelsThanTheirBytesHoldFailBeforeAllocating) {
  // 8192 by 8192 run-length coded in a kilobyte.
  QByteArray bmp = flatRle8Bitmap(16, 16);
  setU32(bmp, 18, 8192);
  setU32(bmp, 22, 8192);
  bmp.append(QByteArray(1000, '\0'));
  setU32(bmp, 2, std::uint32_t(bmp.size()));

  // A GIF frame of 8000 by 8000 whose codes take a few bytes.
  QByteArray gif =
      makeGif(16, 16, kRgbwMap, {GifFrame{0, 0, 16, 16, false, {}, filled(16, 16, 1)}});
  const qsizetype descriptor = gif.indexOf(',');
  ASSERT_GT(descriptor, 0);
  for (const qsizetype at : {qsizetype(6), descriptor + 5}) {
    gif[at] = char(8000 & 0xff), gif[at + 1] = char(8000 >> 8);
    gif[at + 2] = char(8000 & 0xff), gif[at + 3] = char(8000 >> 8);
  }

  // A flat JPEG whose frame header claims 8000 by 8000.
  QByteArray jpeg = greyJpeg(64, 64);
  setU16BigEndian(jpeg, jpegFrameSize(jpeg), 8000);
  setU16BigEndian(jpeg, jpegFrameSize(jpeg) + 2, 8000);

  ASSERT_TRUE(allocationHooks);
  for (const auto &[value, format] :
       {std::pair{bmp, PictureFormat::Bmp}, std::pair{gif, PictureFormat::Gif},
        std::pair{jpeg, PictureFormat::Jpeg}}) {
    SCOPED_TRACE(int(format));
    DecodeResult result;
    const std::size_t largest = largestAllocationDuring([&] { result = decodePicture(value); });
    EXPECT_FALSE(result.ok()) << describe(result);
    EXPECT_TRUE(result.error.contains(QStringLiteral("pixels"))) << result.error.toStdString();
    EXPECT_LT(largest, 8 * kMb);
  }
}

TEST(DecodeBounds, LargeFlatPicturesHoldingTheirShareDecode) {
  // Nine megapixels of one colour: above the pixels any value may claim,
  // but coded in as many bytes as a real flat picture takes.
  const Picture bmp = decodeOk(flatRle8Bitmap(3000, 3000), Picture::Type::Bitmap);
  EXPECT_EQ(bmp.size, QSize(3000, 3000));
  EXPECT_PIXEL(bmp.image, 2999, 2999, qRgb(0, 160, 0));

  std::vector<JSAMPLE> flat(2400 * 2400, 128);
  const Picture jpeg = decodeOk(compressJpeg(2400, 2400, 1, flat), Picture::Type::Bitmap);
  EXPECT_EQ(jpeg.size, QSize(2400, 2400));
}

TEST(JpegDecoder, TheShownPartIsTheMiddleAsDjpegDecodesIt) {
  const QByteArray jpeg = jpegOf(testImage(703, 509));
  const Reference whole = djpeg(jpeg);
  ASSERT_EQ(whole.size, QSize(703, 509));
  for (const QSize shown : {QSize(300, 200), QSize(1000, 100), QSize(50, 1000)}) {
    SCOPED_TRACE(shown.width() * 10000 + shown.height());
    const DecodeResult result = decodeJpeg(jpeg, {shown, nullptr});
    ASSERT_TRUE(result.ok()) << describe(result);
    const Picture &part = *result.picture;
    EXPECT_EQ(part.size, QSize(703, 509));
    // Whole blocks: the part may start left of the middle and be wider.
    const QRect wanted(
        QPoint((703 - std::min(shown.width(), 703)) / 2, (509 - std::min(shown.height(), 509)) / 2),
        shown.boundedTo(QSize(703, 509)));
    const QRect decoded(part.origin, part.image.size());
    EXPECT_TRUE(decoded.contains(wanted)) << decoded.x() << "," << decoded.width();
    EXPECT_LE(decoded.width(), wanted.width() + 2 + 16);
    EXPECT_EQ(decoded.height(), wanted.height());
    // Every pixel that can be seen is djpeg's.
    for (int y = wanted.top(); y <= wanted.bottom(); ++y) {
      const qsizetype at = (qsizetype(y) * 703 + wanted.left()) * 3;
      const uchar *row = part.image.constScanLine(y - part.origin.y());
      ASSERT_EQ(
          QByteArray(reinterpret_cast<const char *>(row) + (wanted.left() - part.origin.x()) * 3,
                     wanted.width() * 3),
          whole.pixels.mid(at, wanted.width() * 3))
          << "row " << y;
    }
  }
}

TEST(JpegDecoder, AnAbandonedDecodeStops) {
  const std::atomic<bool> abandoned{true};
  const DecodeResult result = decodeJpeg(jpegOf(testImage(640, 480)), {QSize(), &abandoned});
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.error, QStringLiteral("abandoned"));
}

// ---------------------------------------------------------------- ICO

namespace {

struct IconEntry {
  QByteArray data;
  int directoryWidth = 0; // as the directory claims; 0 means 256
};

// An icon DIB: header height doubled, colour rows, then the AND mask.
QByteArray iconDib(const QImage &image, int bits, const std::vector<bool> &transparent = {}) {
  QByteArray dib = dibOf(image, bits);
  setU32(dib, 8, std::uint32_t(2 * image.height()));
  const int stride = (image.width() + 31) / 32 * 4;
  for (int r = 0; r < image.height(); ++r) {
    const int y = image.height() - 1 - r;
    QByteArray row(stride, '\0');
    for (int x = 0; x < image.width(); ++x)
      if (!transparent.empty() && transparent[std::size_t(y * image.width() + x)])
        row[x / 8] = char(row[x / 8] | 1 << (7 - x % 8));
    dib += row;
  }
  return dib;
}

QByteArray iconFile(const std::vector<IconEntry> &entries) {
  QByteArray out;
  putU16(out, 0);
  putU16(out, 1);
  putU16(out, int(entries.size()));
  qsizetype offset = 6 + 16 * qsizetype(entries.size());
  for (const IconEntry &e : entries) {
    out.append(char(e.directoryWidth));
    out.append(char(e.directoryWidth));
    out.append(bytes({0, 0}));
    putU16(out, 1);
    putU16(out, 32);
    putU32(out, std::uint32_t(e.data.size()));
    putU32(out, std::uint32_t(offset));
    offset += e.data.size();
  }
  for (const IconEntry &e : entries)
    out += e.data;
  return out;
}

QByteArray pngOf(const QImage &image) {
  QByteArray out;
  QBuffer buffer(&out);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, "PNG"));
  return out;
}

QImage solid(int size, QRgb colour) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(colour);
  return image;
}

} // namespace

TEST(IcoDecoder, ChoosesTheLargestThenDeepestImage) {
  // The directory's own sizes lie; the images' headers decide.
  const QByteArray ico = iconFile({
      {iconDib(solid(16, kGreen), 32), 64},
      {iconDib(solid(32, kRed), 4), 16},
      {iconDib(solid(32, kBlue), 32), 16},
      {iconDib(solid(24, kWhite), 32), 0},
  });
  const Picture picture = decodeOk(ico, Picture::Type::Icon);
  EXPECT_EQ(picture.size, QSize(32, 32));
  EXPECT_PIXEL(picture.image, 5, 5, kBlue);

  const QByteArray withPng = iconFile({{iconDib(solid(32, kRed), 32)}, {pngOf(solid(48, kGreen))}});
  const Picture png = decodeOk(withPng, Picture::Type::Icon);
  EXPECT_EQ(png.size, QSize(48, 48));
  EXPECT_PIXEL(png.image, 40, 40, kGreen);
}

TEST(IcoDecoder, MaskAndAlphaMakeTransparency) {
  // A 4-bit icon whose mask clears its left half.
  QImage image = solid(8, kRed);
  std::vector<bool> mask(64);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 4; ++x)
      mask[std::size_t(y * 8 + x)] = true;
  const Picture masked = decodeOk(iconFile({{iconDib(image, 4, mask)}}), Picture::Type::Icon);
  EXPECT_EQ(pixel(masked.image, 1, 3).alpha(), 0);
  EXPECT_PIXEL(masked.image, 6, 3, kRed);

  // A 32-bit icon with an alpha channel: the alpha wins over the mask.
  QImage alpha = solid(8, kBlue);
  alpha.setPixel(0, 0, qRgba(0, 0, 255, 0));
  alpha.setPixel(7, 7, qRgba(0, 0, 255, 128));
  const Picture alphaIcon = decodeOk(iconFile({{iconDib(alpha, 32, mask)}}), Picture::Type::Icon);
  EXPECT_EQ(pixel(alphaIcon.image, 0, 0).alpha(), 0);
  EXPECT_EQ(pixel(alphaIcon.image, 7, 7).alpha(), 128);
  EXPECT_PIXEL(alphaIcon.image, 2, 2, kBlue);
}

TEST(IcoDecoder, DamagedDirectoriesFail) {
  const QByteArray good =
      iconFile({{iconDib(solid(16, kRed), 8)}, {iconDib(solid(32, kBlue), 24)}});
  decodeOk(good, Picture::Type::Icon);
  expectEveryPrefixFails(good, PictureFormat::Ico);

  QByteArray offset = good;
  setU32(offset, 6 + 16 + 12, 0xFFFFFFF0);
  expectDamaged(offset, PictureFormat::Ico, "entry offset beyond the value");
  QByteArray size = good;
  setU32(size, 6 + 8, std::uint32_t(good.size()));
  expectDamaged(size, PictureFormat::Ico, "entry size beyond the value");
  QByteArray none = good.left(6);
  none[4] = 0;
  expectDamaged(none, PictureFormat::Ico, "no images");
  QByteArray many = good;
  many[4] = char(0xFF), many[5] = char(0xFF);
  expectDamaged(many, PictureFormat::Ico, "directory beyond the value");
  QByteArray header = good;
  setU32(header, 6 + 16 * 2, 99);
  expectDamaged(header, PictureFormat::Ico, "image header size");

  // A PNG image claiming 2^32 - 1 pixels each way is refused, not multiplied.
  QByteArray png = pngOf(solid(4, kRed));
  for (const int at : {16, 20})
    for (int i = 0; i < 4; ++i)
      png[at + i] = char(0xFF);
  expectDamaged(iconFile({{png}}), PictureFormat::Ico, "huge PNG");
}

// ---------------------------------------------------------------- WMF

TEST(WmfRenderer, FilledRectangleLeavesOutItsRightAndBottomEdges) {
  const QImage image = render(redRectangle().bytes());
  ASSERT_EQ(image.size(), QSize(100, 50));
  // GDI fills a rectangle without a pen from left to right - 2.
  EXPECT_PIXEL(image, 10, 10, kRed);
  EXPECT_PIXEL(image, 29, 19, kRed);
  EXPECT_PIXEL(image, 30, 19, kWhite);
  EXPECT_PIXEL(image, 29, 20, kWhite);
  EXPECT_PIXEL(image, 9, 10, kWhite);
  EXPECT_PIXEL(image, 10, 9, kWhite);
}

TEST(WmfRenderer, OutlineAndLines) {
  Wmf wmf(0, 0, 60, 40, 96);
  wmf.pen(0, 1, kBlue).select(0).brush(1, kBlack).select(1); // hollow brush
  wmf.rectangle(5, 5, 25, 15);
  wmf.moveTo(0, 30).lineTo(50, 30);
  const QImage image = render(wmf.bytes());
  EXPECT_PIXEL(image, 5, 5, kBlue);
  EXPECT_PIXEL(image, 24, 14, kBlue);
  EXPECT_PIXEL(image, 15, 10, kWhite);
  EXPECT_PIXEL(image, 25, 10, kWhite);
  EXPECT_PIXEL(image, 0, 30, kBlue);
  EXPECT_PIXEL(image, 49, 30, kBlue);
  EXPECT_PIXEL(image, 50, 30, kWhite); // GDI leaves out a line's last pixel
}

TEST(WmfRenderer, LogicalUnitsAndWindowMapToPixels) {
  // 1440 units an inch: 2880 by 1440 units are 192 by 96 pixels; the
  // window starts at (1000, 2000).
  Wmf wmf(1000, 2000, 3880, 3440, 1440);
  wmf.windowOrg(1000, 2000).windowExt(2880, 1440);
  wmf.pen(kNullPen, 0, kBlack).select(0).brush(0, kRed).select(1);
  wmf.rectangle(1150, 2150, 1465, 2465); // 10..31 pixels, with the edge pixel
  const QImage image = render(wmf.bytes());
  ASSERT_EQ(image.size(), QSize(192, 96));
  EXPECT_PIXEL(image, 10, 10, kRed);
  EXPECT_PIXEL(image, 29, 29, kRed);
  EXPECT_PIXEL(image, 9, 9, kWhite);
  EXPECT_PIXEL(image, 31, 31, kWhite);

  // Without a window record the header's box is the window.
  Wmf boxOnly(0, 0, 200, 100, 192);
  boxOnly.pen(kNullPen, 0, kBlack).select(0).brush(0, kBlue).select(1).rectangle(100, 0, 201, 101);
  const QImage half = render(boxOnly.bytes());
  ASSERT_EQ(half.size(), QSize(100, 50));
  EXPECT_PIXEL(half, 49, 25, kWhite);
  EXPECT_PIXEL(half, 50, 25, kBlue);
  EXPECT_PIXEL(half, 99, 49, kBlue);
}

TEST(WmfRenderer, ObjectSlotsAndSavedStates) {
  Wmf wmf(0, 0, 40, 20, 96);
  wmf.pen(kNullPen, 0, kBlack); // slot 0
  wmf.brush(0, kBlue);          // slot 1
  wmf.select(0).select(1);
  wmf.deleteObject(1).brush(0, kRed); // the red brush takes the freed slot 1
  wmf.select(1);
  wmf.record(0x001E, {});         // SaveDC
  wmf.brush(0, kGreen).select(2); // slot 2
  wmf.rectangle(0, 0, 11, 11);    // green
  wmf.record(0x0127, {-1});       // RestoreDC: red again
  wmf.rectangle(20, 0, 31, 11);
  wmf.select(7);                // nothing there: ignored
  wmf.rectangle(0, 12, 11, 20); // still red
  const QImage image = render(wmf.bytes());
  EXPECT_PIXEL(image, 5, 5, kGreen);
  EXPECT_PIXEL(image, 25, 5, kRed);
  EXPECT_PIXEL(image, 5, 15, kRed);
}

TEST(WmfRenderer, PolygonEllipseAndHatch) {
  Wmf wmf(0, 0, 100, 100, 96);
  wmf.pen(kNullPen, 0, kBlack).select(0).brush(0, kRed).select(1);
  wmf.polygon({{10, 10}, {50, 10}, {10, 50}});
  wmf.brush(0, kBlue).select(2).ellipse(60, 60, 91, 91);
  const QImage image = render(wmf.bytes());
  EXPECT_PIXEL(image, 15, 15, kRed);
  EXPECT_PIXEL(image, 45, 45, kWhite);
  EXPECT_PIXEL(image, 75, 75, kBlue);
  EXPECT_PIXEL(image, 61, 61, kWhite); // outside the ellipse, inside its box
}

TEST(WmfRenderer, BitmapsAreStretchedTopRowFirst) {
  // A 2 by 2 bitmap: red, blue over green, white; stored bottom row first.
  QImage bitmap(2, 2, QImage::Format_RGB32);
  bitmap.setPixel(0, 0, kRed), bitmap.setPixel(1, 0, kBlue);
  bitmap.setPixel(0, 1, kGreen), bitmap.setPixel(1, 1, kWhite);
  for (const int bits : {24, 32, 8, 4}) {
    Wmf wmf(0, 0, 40, 40, 96);
    wmf.stretchDib(10, 10, 20, 20, bitmap, bits);
    const QImage image = render(wmf.bytes());
    EXPECT_PIXEL(image, 12, 12, kRed) << bits << " bits";
    EXPECT_PIXEL(image, 27, 12, kBlue) << bits << " bits";
    EXPECT_PIXEL(image, 12, 27, kGreen) << bits << " bits";
    EXPECT_PIXEL(image, 27, 27, kWhite) << bits << " bits";
    EXPECT_PIXEL(image, 31, 31, kWhite) << bits << " bits";
    EXPECT_PIXEL(image, 9, 9, kWhite) << bits << " bits";
  }
  // A source rectangle at (0, 0) of a bottom-up bitmap is its bottom-left
  // pixel; of a top-down one its top-left pixel.
  for (const bool topDown : {false, true}) {
    Wmf wmf(0, 0, 40, 40, 96);
    wmf.stretchDib(10, 10, 20, 20, QRect(0, 0, 1, 1), dibOf(bitmap, 24, topDown));
    const QImage image = render(wmf.bytes());
    EXPECT_PIXEL(image, 12, 12, topDown ? kRed : kGreen) << "top-down " << topDown;
    EXPECT_PIXEL(image, 27, 27, topDown ? kRed : kGreen) << "top-down " << topDown;
  }
}

TEST(WmfRenderer, TextIsDrawnInTheTextColour) {
  Wmf wmf(0, 0, 120, 40, 96);
  wmf.font(-24, "Sans", 700).select(0);
  wmf.record(0x0209, {0x00FF, 0x0000}); // SetTextColor red
  wmf.record(0x0102, {1});              // transparent background
  wmf.textOut(10, 5, "HH");
  const QImage image = render(wmf.bytes());
  int red = 0, other = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = pixel(image, x, y);
      if (c == QColor(kRed))
        ++red;
      else if (c != QColor(kWhite) && (x < 8 || y < 3 || y > 33))
        ++other;
    }
  EXPECT_GT(red, 20) << "no text drawn";
  EXPECT_EQ(other, 0) << "text outside its place";
}

namespace {

// The box of the pixels that are not white.
QRect inkOf(const QImage &image) {
  QRect ink;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (pixel(image, x, y) != QColor(kWhite))
        ink |= QRect(x, y, 1, 1);
  return ink;
}

} // namespace

TEST(WmfRenderer, SavedStatesCarryTheClipping) {
  Wmf wmf(0, 0, 60, 60, 96);
  wmf.pen(kNullPen, 0, kBlack).select(0).brush(0, kRed).select(1);
  wmf.saveDC().intersectClip(10, 10, 30, 30);
  wmf.saveDC().intersectClip(20, 0, 60, 60); // nested: only 20..29 by 10..29
  wmf.rectangle(0, 0, 61, 61);
  wmf.restoreDC(-1);
  wmf.brush(0, kBlue).select(2).rectangle(0, 35, 61, 36); // clipped by the outer save
  wmf.restoreDC(1); // the first save: no clipping and the red brush
  wmf.rectangle(0, 50, 61, 56);
  const QImage image = render(wmf.bytes());
  EXPECT_PIXEL(image, 25, 15, kRed);
  EXPECT_PIXEL(image, 15, 15, kWhite);
  EXPECT_PIXEL(image, 25, 30, kWhite);
  EXPECT_PIXEL(image, 5, 5, kWhite);
  EXPECT_PIXEL(image, 15, 35, kWhite); // the blue line lies outside 10..29
  EXPECT_PIXEL(image, 5, 52, kRed);
  EXPECT_PIXEL(image, 55, 52, kRed);
}

TEST(WmfRenderer, ExcludedClippingLeavesADropShadowAroundItsFigure) {
  // A shadow drawn as a writer does: the figure's place excluded, the
  // shadow offset below and right, then the figure over it.
  Wmf wmf(0, 0, 60, 60, 96);
  wmf.pen(kNullPen, 0, kBlack).select(0).brush(0, kBlack).select(1);
  wmf.saveDC().excludeClip(10, 10, 40, 40);
  wmf.rectangle(15, 15, 46, 46);
  wmf.restoreDC(-1);
  wmf.brush(0, kRed).select(2).rectangle(10, 10, 41, 41);
  const QImage image = render(wmf.bytes());
  EXPECT_PIXEL(image, 20, 20, kRed);
  EXPECT_PIXEL(image, 42, 42, kBlack);
  EXPECT_PIXEL(image, 42, 20, kBlack);
  EXPECT_PIXEL(image, 20, 42, kBlack);
  EXPECT_PIXEL(image, 12, 42, kWhite);
  EXPECT_PIXEL(image, 46, 46, kWhite);
}

TEST(WmfRenderer, PolyPolygonFillsByTheFillMode) {
  const std::vector<QPoint> outer{{10, 10}, {50, 10}, {50, 50}, {10, 50}};
  const std::vector<QPoint> inner{{20, 20}, {40, 20}, {40, 40}, {20, 40}};
  for (const int mode : {1, 2}) { // alternate, winding
    Wmf wmf(0, 0, 60, 60, 96);
    wmf.pen(kNullPen, 0, kBlack).select(0).brush(0, kBlue).select(1);
    wmf.record(0x0106, {mode}).polyPolygon({outer, inner});
    const QImage image = render(wmf.bytes());
    EXPECT_PIXEL(image, 15, 15, kBlue) << "mode " << mode;
    EXPECT_PIXEL(image, 30, 30, mode == 1 ? kWhite : kBlue) << "mode " << mode;
    EXPECT_PIXEL(image, 55, 30, kWhite) << "mode " << mode;
  }
}

TEST(WmfRenderer, TextAlignmentPlacesTheReferencePoint) {
  // "H" at (50, 50): its ink sits below the point at the top alignment,
  // ends on it at the baseline and above it at the bottom; left, centre and
  // right put the point at its left, middle and right.
  auto inkAt = [](int align) {
    Wmf wmf(0, 0, 100, 100, 96);
    wmf.font(-30, "DejaVu Sans", 700).select(0).transparentText().textAlign(align);
    wmf.textOut(50, 50, "H");
    return inkOf(render(wmf.bytes()));
  };
  const QRect top = inkAt(0), baseline = inkAt(24), bottom = inkAt(8);
  const QRect centre = inkAt(24 | 6), right = inkAt(24 | 2);
  ASSERT_FALSE(top.isEmpty());
  EXPECT_GT(top.top(), 50);
  EXPECT_LT(top.top(), 50 + 12) << "the cell's top is the point, the ink starts below";
  EXPECT_NEAR(baseline.bottom(), 49, 1);
  EXPECT_LT(bottom.bottom(), 49 - 3) << "the descent lies below the baseline";
  EXPECT_EQ(top.height(), baseline.height());
  EXPECT_NEAR(top.left(), 52, 3);
  EXPECT_NEAR((centre.left() + centre.right()) / 2.0, 50, 2);
  EXPECT_NEAR(right.right(), 48, 3);
  EXPECT_EQ(baseline.bottom(), centre.bottom());
}

TEST(WmfRenderer, ExtTextOutOptionsAndAdvances) {
  const QRect box(10, 10, 40, 20); // 10..49 by 10..29
  {
    // ETO_OPAQUE fills its rectangle with the background colour even when
    // the text is transparent.
    Wmf wmf(0, 0, 100, 60, 96);
    wmf.record(0x0201, {0x00FF, 0x0000}).transparentText(); // red background
    wmf.extTextOut(10, 10, 2, box, "");
    const QImage image = render(wmf.bytes());
    EXPECT_PIXEL(image, 10, 10, kRed);
    EXPECT_PIXEL(image, 49, 29, kRed);
    EXPECT_PIXEL(image, 50, 29, kWhite);
    EXPECT_PIXEL(image, 49, 30, kWhite);
  }
  {
    // ETO_CLIPPED keeps the text inside the rectangle.
    Wmf wmf(0, 0, 100, 60, 96);
    wmf.font(-40, "DejaVu Sans", 700).select(0).transparentText();
    wmf.extTextOut(12, 0, 4, box, "HHHH");
    const QRect ink = inkOf(render(wmf.bytes()));
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_TRUE(box.contains(ink))
        << ink.x() << "," << ink.y() << " " << ink.width() << "x" << ink.height();
    EXPECT_EQ(ink.right(), 49);
  }
  {
    // Advances set each character's place: two letters 60 units apart.
    Wmf wmf(0, 0, 100, 60, 96);
    wmf.font(-20, "DejaVu Sans", 700).select(0).transparentText();
    wmf.extTextOut(5, 5, 0, {}, "II", {60, 60});
    const QImage image = render(wmf.bytes());
    const QRect ink = inkOf(image);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GT(ink.width(), 60);
    EXPECT_LT(ink.width(), 70);
    int middle = 0;
    for (int x = ink.left() + 10; x < ink.left() + 55; ++x)
      for (int y = 0; y < image.height(); ++y)
        middle += pixel(image, x, y) != QColor(kWhite);
    EXPECT_EQ(middle, 0) << "the gap between the letters holds ink";
  }
}

TEST(WmfRenderer, DibRecordsDrawTheirBitmap) {
  // A 2 by 2 bitmap: red, blue over green, white.
  QImage bitmap(2, 2, QImage::Format_RGB32);
  bitmap.setPixel(0, 0, kRed), bitmap.setPixel(1, 0, kBlue);
  bitmap.setPixel(0, 1, kGreen), bitmap.setPixel(1, 1, kWhite);
  const QByteArray dib = dibOf(bitmap, 24);
  const int copyLow = 0x0020, copyHigh = 0x00CC; // SRCCOPY
  {
    // DIBBitBlt copies pixels one to one: its source rectangle is the
    // whole bitmap.
    Wmf wmf(0, 0, 40, 40, 96);
    wmf.withDib(0x0940, {copyLow, copyHigh, 0, 0, 2, 2, 10, 10}, dib);
    const QImage image = render(wmf.bytes());
    EXPECT_PIXEL(image, 10, 10, kRed);
    EXPECT_PIXEL(image, 11, 10, kBlue);
    EXPECT_PIXEL(image, 10, 11, kGreen);
    EXPECT_PIXEL(image, 12, 12, kWhite);
  }
  {
    // DIBStretchBlt scales the source onto 20 by 20.
    Wmf wmf(0, 0, 40, 40, 96);
    wmf.withDib(0x0B41, {copyLow, copyHigh, 2, 2, 0, 0, 20, 20, 10, 10}, dib);
    const QImage image = render(wmf.bytes());
    EXPECT_PIXEL(image, 12, 12, kRed);
    EXPECT_PIXEL(image, 27, 12, kBlue);
    EXPECT_PIXEL(image, 12, 27, kGreen);
    EXPECT_PIXEL(image, 31, 31, kWhite);
  }
  {
    // SetDIBitsToDevice: colour use, scans, first scan, source corner,
    // size, destination.
    Wmf wmf(0, 0, 40, 40, 96);
    wmf.withDib(0x0D33, {0, 2, 0, 0, 0, 2, 2, 5, 5}, dib);
    const QImage image = render(wmf.bytes());
    EXPECT_PIXEL(image, 5, 5, kRed);
    EXPECT_PIXEL(image, 6, 6, kWhite);
    EXPECT_PIXEL(image, 5, 6, kGreen);
  }
  {
    // A DIB pattern brush repeats its bitmap.
    Wmf wmf(0, 0, 40, 40, 96);
    wmf.pen(kNullPen, 0, kBlack).select(0);
    wmf.withDib(0x0142, {3, 0}, dib).select(1).rectangle(0, 0, 9, 9);
    const QImage image = render(wmf.bytes());
    EXPECT_PIXEL(image, 0, 0, kRed);
    EXPECT_PIXEL(image, 3, 0, kBlue);
    EXPECT_PIXEL(image, 2, 3, kGreen);
    EXPECT_PIXEL(image, 5, 5, kWhite);
  }
}

TEST(WmfRenderer, SelectedRegionsClip) {
  // A region of two scans: 10..29 by 10..19 and 10..19 by 20..29 (an L).
  auto region = [](std::vector<int> scans, int count) {
    std::vector<int> params{0, 6, 0, 0, 0, count, 2, 10, 10, 30, 30};
    params.insert(params.end(), scans.begin(), scans.end());
    return params;
  };
  Wmf wmf(0, 0, 40, 40, 96);
  wmf.pen(kNullPen, 0, kBlack).select(0).brush(0, kRed).select(1);
  wmf.record(0x06FF, region({2, 10, 20, 10, 30, 2, 2, 20, 30, 10, 20, 2}, 2)); // slot 2
  wmf.record(0x012C, {2});
  wmf.rectangle(0, 0, 41, 41);
  const QImage image = render(wmf.bytes());
  EXPECT_PIXEL(image, 25, 15, kRed);
  EXPECT_PIXEL(image, 15, 25, kRed);
  EXPECT_PIXEL(image, 25, 25, kWhite);
  EXPECT_PIXEL(image, 5, 5, kWhite);
  EXPECT_PIXEL(image, 30, 15, kWhite);
}

TEST(WmfRenderer, APlayedRecordingNeverDrawsOutsideItsBox) {
  // Restoring a state without clipping must not lift the player's own.
  Wmf wmf(0, 0, 40, 40, 96);
  wmf.pen(kNullPen, 0, kBlack).select(0).brush(0, kRed).select(1);
  wmf.saveDC().intersectClip(0, 0, 20, 20).restoreDC(-1);
  wmf.rectangle(-100, -100, 200, 200);
  const Picture picture = decodeOk(wmf.bytes(), Picture::Type::Metafile);
  QImage canvas(100, 100, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  {
    QPainter painter(&canvas);
    painter.drawPicture(30, 30, picture.metafile);
  }
  EXPECT_PIXEL(canvas, 30, 30, kRed);
  EXPECT_PIXEL(canvas, 69, 69, kRed);
  EXPECT_PIXEL(canvas, 29, 50, kWhite);
  EXPECT_PIXEL(canvas, 70, 50, kWhite);
  EXPECT_PIXEL(canvas, 50, 70, kWhite);
}

TEST(WmfRenderer, ForAViewOnlyTheShownMiddleIsDrawnAndAnAbandonedPlayStops) {
  Wmf wmf(0, 0, 60, 60, 96);
  wmf.pen(kNullPen, 0, kBlack).select(0).brush(0, kRed).select(1).rectangle(25, 25, 36, 36);
  const DecodeResult forView = decodeWmf(wmf.bytes(), {QSize(20, 30)});
  ASSERT_TRUE(forView.ok()) << forView.error.toStdString();
  const Picture &picture = *forView.picture;
  EXPECT_EQ(picture.size, QSize(60, 60));
  EXPECT_EQ(picture.drawn.size(), QSize(20, 30));
  EXPECT_EQ(picture.origin, QPoint(20, 15));
  EXPECT_EQ(picture.drawn.pixelColor(5, 10), QColor(kRed)); // (25, 25) of the picture
  EXPECT_EQ(picture.drawn.pixelColor(16, 21).alpha(), 0);   // (36, 36): nothing drawn
  EXPECT_TRUE(decodeWmf(wmf.bytes()).picture->drawn.isNull());

  const std::atomic<bool> abandoned = true;
  const DecodeResult stopped = decodeWmf(wmf.bytes(), {QSize(20, 20), &abandoned});
  EXPECT_FALSE(stopped.ok());
  EXPECT_NE(stopped.error.toStdString().find("abandoned"), std::string::npos);
}

TEST(WmfRenderer, UnknownAndIgnoredRecordsAreSkipped) {
  Wmf wmf = redRectangle();
  wmf.record(0x0626, {15, 4, 1, 2}); // Escape
  wmf.record(0x0104, {13});          // SetROP2
  wmf.record(0x0999, {1, 2, 3, 4, 5});
  wmf.brush(0, kBlue).select(2).rectangle(50, 10, 61, 21);
  const QImage image = render(wmf.bytes());
  EXPECT_PIXEL(image, 15, 15, kRed);
  EXPECT_PIXEL(image, 55, 15, kBlue);
}

TEST(WmfRenderer, DamagedMetafilesFail) {
  const QByteArray good = redRectangle().bytes();
  expectDamaged(redRectangle().bytes(true, 1), PictureFormat::Wmf, "checksum");
  QByteArray key = good;
  key[3] = 0;
  expectDamaged(key, PictureFormat::Wmf, "key");
  expectDamaged(Wmf(0, 0, 100, 50, 0).bytes(), PictureFormat::Wmf, "0 units an inch");
  expectDamaged(Wmf(0, 0, 0, 50, 96).bytes(), PictureFormat::Wmf, "empty box");
  expectDamaged(Wmf(-32000, -32000, 32000, 32000, 1).bytes(), PictureFormat::Wmf, "too large");
  expectDamaged(redRectangle().bytes(false), PictureFormat::Wmf, "no end record");
  expectDamaged(Wmf(redRectangle()).raw(QByteArray::fromHex("000000000102")).bytes(),
                PictureFormat::Wmf, "record of 0 words");
  expectDamaged(Wmf(redRectangle()).raw(QByteArray::fromHex("020000000102")).bytes(),
                PictureFormat::Wmf, "record of 2 words");
  expectDamaged(Wmf(redRectangle()).raw(QByteArray::fromHex("ffffff7f1b04")).bytes(),
                PictureFormat::Wmf, "record past the end");
  // A polygon claiming more points than its record holds.
  expectDamaged(Wmf(redRectangle()).record(0x0324, {500, 1, 2, 3, 4}).bytes(), PictureFormat::Wmf,
                "polygon count");
  expectDamaged(Wmf(redRectangle()).record(0x0538, {3, 1}).bytes(), PictureFormat::Wmf,
                "poly-polygon count");
  expectDamaged(Wmf(redRectangle()).record(0x0521, {200, 0x4141}).bytes(), PictureFormat::Wmf,
                "text length");
  // A bitmap whose header claims more rows than its record holds.
  QByteArray dib = dibOf(solid(8, kRed), 24);
  setU32(dib, 8, 64);
  expectDamaged(Wmf(redRectangle()).stretchDib(0, 0, 10, 10, QRect(0, 0, 8, 8), dib).bytes(),
                PictureFormat::Wmf, "bitmap rows beyond the record");
  QByteArray badHeader = dibOf(solid(8, kRed), 24);
  setU32(badHeader, 0, 20);
  expectDamaged(Wmf(redRectangle()).stretchDib(0, 0, 10, 10, QRect(0, 0, 8, 8), badHeader).bytes(),
                PictureFormat::Wmf, "bitmap header size");

  expectEveryPrefixFails(good, PictureFormat::Wmf);
}

// ---------------------------------------------------------------- demo

namespace {

// The demo database's values by row, read with SQLite.
class DemoDatabase {
public:
  DemoDatabase() {
    const QString path = scratch_.file(QStringLiteral("demo.db"));
    QProcess maker;
    maker.start(QStringLiteral(QUILLON_MAKE_DEMO_DB), {path});
    EXPECT_TRUE(maker.waitForFinished(60000) && maker.exitCode() == 0)
        << maker.readAllStandardError().toStdString();
    EXPECT_EQ(
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READONLY, nullptr),
        SQLITE_OK);
  }
  ~DemoDatabase() { sqlite3_close(db_); }

  QByteArray value(const char *sql, const char *key) const {
    sqlite3_stmt *statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr), SQLITE_OK) << sql;
    sqlite3_bind_text(statement, 1, key, -1, SQLITE_STATIC);
    QByteArray result;
    if (sqlite3_step(statement) == SQLITE_ROW)
      result = QByteArray(static_cast<const char *>(sqlite3_column_blob(statement, 0)),
                          sqlite3_column_bytes(statement, 0));
    else
      ADD_FAILURE() << "no row for " << key;
    sqlite3_finalize(statement);
    return result;
  }
  QByteArray doc(const char *name) const {
    return value("select Data from Docs where Name = ?", name);
  }
  QByteArray photo(const char *product) const {
    return value("select Photo from [Order Lines] where Product = ?", product);
  }

private:
  quillon::test::ScratchDir scratch_;
  sqlite3 *db_ = nullptr;
};

} // namespace

TEST(DemoPictures, EveryPictureDecodesAtItsSize) {
  const DemoDatabase demo;
  struct Case {
    QByteArray value;
    PictureFormat format;
    Picture::Type type;
    QSize size;
  };
  const Case cases[] = {
      {demo.doc("Landscape"), PictureFormat::Jpeg, Picture::Type::Bitmap, {320, 200}},
      {demo.doc("Chart"), PictureFormat::Gif, Picture::Type::Bitmap, {240, 160}},
      {demo.doc("Face"), PictureFormat::Bmp, Picture::Type::Bitmap, {128, 128}},
      {demo.doc("House"), PictureFormat::Wmf, Picture::Type::Metafile, {240, 160}},
      {demo.doc("Quill"), PictureFormat::Ico, Picture::Type::Icon, {32, 32}},
      {demo.doc("Flower"), PictureFormat::None, Picture::Type::None, {}},
      {demo.doc("Letter"), PictureFormat::None, Picture::Type::None, {}},
      {demo.photo("Teacup"), PictureFormat::Bmp, Picture::Type::Bitmap, {64, 64}},
      {demo.photo("Pear"), PictureFormat::Jpeg, Picture::Type::Bitmap, {64, 64}},
      {demo.photo("Pencil"), PictureFormat::Gif, Picture::Type::Bitmap, {64, 64}},
  };
  for (const Case &c : cases) {
    const DecodeResult result = decodePicture(c.value);
    EXPECT_EQ(int(result.format), int(c.format));
    ASSERT_TRUE(result.ok()) << describe(result);
    EXPECT_EQ(int(result.picture->type), int(c.type));
    EXPECT_EQ(result.picture->size, c.size);
    if (c.type != Picture::Type::None) {
      EXPECT_EQ(pictureImage(*result.picture).size(), c.size);
    }
  }
  // The quill's corner is transparent, its middle is not.
  const Picture quill = decodeOk(demo.doc("Quill"), Picture::Type::Icon);
  EXPECT_EQ(pixel(quill.image, 0, 0).alpha(), 0);
  EXPECT_EQ(pixel(quill.image, 16, 16).alpha(), 255);
}

TEST(DemoPictures, HouseMetafileRendersItsColours) {
  const DemoDatabase demo;
  const QImage house = render(demo.doc("House"));
  ASSERT_EQ(house.size(), QSize(240, 160));
  EXPECT_PIXEL(house, 5, 5, qRgb(170, 210, 245));     // sky
  EXPECT_PIXEL(house, 239, 114, qRgb(170, 210, 245)); // its last pixel
  EXPECT_PIXEL(house, 5, 150, qRgb(95, 170, 70));     // grass
  EXPECT_PIXEL(house, 239, 159, qRgb(95, 170, 70));
  EXPECT_PIXEL(house, 201, 31, qRgb(255, 215, 50));  // sun
  EXPECT_PIXEL(house, 105, 60, qRgb(190, 45, 35));   // roof
  EXPECT_PIXEL(house, 106, 125, qRgb(130, 80, 40));  // door
  EXPECT_PIXEL(house, 74, 90, qRgb(255, 245, 160));  // window pane
  EXPECT_PIXEL(house, 79, 90, qRgb(90, 50, 20));     // window bar
  EXPECT_PIXEL(house, 130, 40, qRgb(120, 110, 105)); // chimney
  // Sky and grass cover the picture: no white is left.
  for (int y = 0; y < 160; ++y)
    for (const int x : {0, 120, 239})
      ASSERT_NE(house.pixel(x, y), kWhite) << x << "," << y;
}
