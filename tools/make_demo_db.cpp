// make-demo-db: writes the SQLite database Quillon opens on a first run, with
// one row for each kind of value the viewer and the file commands meet, and
// the data-link file that points Quillon at it.
//
//   make-demo-db DATABASE              creates the demo database
//   make-demo-db --udl FILE DATABASE   writes FILE, a db.udl that opens DATABASE
//
// Neither form overwrites an existing file (exit status 1). Only Qt's image
// classes are used, not its font machinery, so the tool needs no display.
#include "data/ConnectionSettings.h"
#include "data/DataLink.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QString>
#include <QStringList>

#include <gif_lib.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <variant>
#include <vector>

namespace {

const char *const kUsage = "usage: make-demo-db DATABASE\n"
                           "       make-demo-db --udl FILE DATABASE\n"
                           "Creates the demo SQLite database DATABASE, or with --udl writes FILE,\n"
                           "a data-link file that opens DATABASE. Existing files are never\n"
                           "overwritten.\n";

// A step that failed, said in words a user can act on.
struct Failure : std::runtime_error {
  explicit Failure(const QString &what) : std::runtime_error(what.toStdString()) {}
};

void printError(const QString &message) {
  std::fprintf(stderr, "make-demo-db: %s\n", message.toLocal8Bit().constData());
}

// ---------------------------------------------------------------- pictures

QByteArray encodeWithQt(const QImage &image, const char *format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  if (QByteArray(format) == "jpg")
    writer.setQuality(90);
  if (!writer.write(image))
    throw Failure(QStringLiteral("cannot encode a %1 picture: %2 (Qt's %1 image plugin missing?)")
                      .arg(QString::fromLatin1(format).toUpper(), writer.errorString()));
  return bytes;
}

int appendGifBytes(GifFileType *gif, const GifByteType *data, int length) {
  static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(data), length);
  return length;
}

// Qt reads GIF but cannot write it, so giflib does.
QByteArray encodeGif(const QImage &image) {
  QImage indexed = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
  const QList<QRgb> table = indexed.colorTable();
  // A GIF colour map has a power-of-two size.
  int bits = 1;
  while ((1 << bits) < table.size())
    ++bits;
  std::vector<GifColorType> colours(std::size_t(1) << bits, GifColorType{0, 0, 0});
  for (qsizetype i = 0; i < table.size(); ++i)
    colours[std::size_t(i)] = GifColorType{
        GifByteType(qRed(table[i])), GifByteType(qGreen(table[i])), GifByteType(qBlue(table[i]))};
  ColorMapObject *map = GifMakeMapObject(1 << bits, colours.data());
  if (!map)
    throw Failure(QStringLiteral("cannot encode a GIF picture: out of memory"));

  QByteArray bytes;
  int error = 0;
  GifFileType *gif = EGifOpen(&bytes, appendGifBytes, &error);
  if (!gif) {
    GifFreeMapObject(map);
    throw Failure(QStringLiteral("cannot encode a GIF picture: %1").arg(GifErrorString(error)));
  }
  const int width = indexed.width();
  const int height = indexed.height();
  bool ok = EGifPutScreenDesc(gif, width, height, bits, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
  for (int y = 0; ok && y < height; ++y)
    ok = EGifPutLine(gif, indexed.scanLine(y), width) == GIF_OK;
  if (!ok)
    error = gif->Error;
  GifFreeMapObject(map); // the screen descriptor keeps its own copy
  int closeError = 0;
  if (EGifCloseFile(gif, &closeError) != GIF_OK && ok) {
    ok = false;
    error = closeError;
  }
  if (!ok)
    throw Failure(QStringLiteral("cannot encode a GIF picture: %1").arg(GifErrorString(error)));
  return bytes;
}

QImage canvas(int width, int height, QColor background) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(background);
  return image;
}

QImage landscape() {
  QImage image = canvas(320, 200, Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);

  QLinearGradient sky(0, 0, 0, 140);
  sky.setColorAt(0, QColor(60, 120, 205));
  sky.setColorAt(1, QColor(195, 225, 250));
  p.fillRect(0, 0, 320, 140, sky);

  QRadialGradient sun(QPointF(252, 42), 24);
  sun.setColorAt(0, QColor(255, 252, 210));
  sun.setColorAt(1, QColor(255, 200, 40));
  p.setBrush(sun);
  p.drawEllipse(QPointF(252, 42), 22, 22);

  p.setBrush(QColor(112, 112, 135));
  p.drawPolygon(QPolygonF{{-10, 130}, {70, 45}, {130, 110}, {180, 60}, {260, 130}});
  p.setBrush(QColor(250, 250, 255));
  p.drawPolygon(QPolygonF{{70, 45}, {55, 61}, {63, 57}, {71, 63}, {78, 58}, {86, 62}});
  p.drawPolygon(QPolygonF{{180, 60}, {168, 72}, {175, 69}, {182, 74}, {188, 70}, {194, 72}});

  QPainterPath hills;
  hills.moveTo(0, 140);
  hills.cubicTo(80, 105, 160, 150, 320, 118);
  hills.lineTo(320, 200);
  hills.lineTo(0, 200);
  hills.closeSubpath();
  QLinearGradient grass(0, 110, 0, 200);
  grass.setColorAt(0, QColor(110, 185, 70));
  grass.setColorAt(1, QColor(45, 120, 40));
  p.fillPath(hills, grass);

  p.setBrush(QColor(60, 125, 195));
  p.drawEllipse(QRectF(150, 152, 135, 32));
  p.setBrush(QColor(235, 240, 200, 150));
  p.drawEllipse(QRectF(238, 160, 26, 5));

  for (const QPointF base : {QPointF(28, 165), QPointF(54, 172), QPointF(92, 160),
                             QPointF(118, 176), QPointF(300, 168)}) {
    p.setBrush(QColor(100, 65, 30));
    p.drawRect(QRectF(base.x() - 2.5, base.y() - 10, 5, 12));
    p.setBrush(QColor(25, 95, 45));
    p.drawPolygon(QPolygonF{
        {base.x(), base.y() - 42}, {base.x() - 13, base.y() - 8}, {base.x() + 13, base.y() - 8}});
  }
  return image;
}

// Flat colours without antialiasing, so the GIF palette holds them exactly.
QImage barChart() {
  QImage image = canvas(240, 160, Qt::white);
  QPainter p(&image);
  p.setPen(QColor(215, 215, 215));
  for (int y = 35; y <= 110; y += 25)
    p.drawLine(31, y, 228, y);

  const int values[] = {40, 65, 55, 90, 75, 110};
  const QColor colours[] = {QColor(50, 100, 200), QColor(240, 140, 30), QColor(60, 160, 70)};
  QPolygon trend;
  for (int i = 0; i < 6; ++i) {
    const int x = 40 + i * 31;
    p.fillRect(x, 135 - values[i], 20, values[i], colours[i % 3]);
    trend << QPoint(x + 10, 135 - values[i] - 8);
  }
  p.setPen(QPen(QColor(200, 30, 30), 2));
  p.drawPolyline(trend);

  p.setPen(QPen(Qt::black, 1));
  p.drawLine(30, 10, 30, 135);
  p.drawLine(30, 135, 230, 135);
  for (int y = 35; y <= 110; y += 25)
    p.drawLine(26, y, 30, y);
  for (int i = 0; i < 6; ++i)
    p.drawLine(50 + i * 31, 135, 50 + i * 31, 139);
  return image;
}

QImage face() {
  QImage image = canvas(128, 128, QColor(225, 238, 255));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(160, 115, 0), 3));
  p.setBrush(QColor(255, 212, 60));
  p.drawEllipse(QPointF(64, 64), 54, 54);

  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 140, 140, 140));
  p.drawEllipse(QPointF(32, 78), 9, 6);
  p.drawEllipse(QPointF(96, 78), 9, 6);

  p.setPen(QPen(QColor(60, 40, 20), 2));
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(45, 50), 10, 13);
  p.drawEllipse(QPointF(83, 50), 10, 13);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 30, 20));
  p.drawEllipse(QPointF(47, 53), 5, 5);
  p.drawEllipse(QPointF(85, 53), 5, 5);

  p.setPen(QPen(QColor(100, 60, 10), 3, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(33, 30, 24, 12), 30 * 16, 120 * 16);
  p.drawArc(QRectF(71, 30, 24, 12), 30 * 16, 120 * 16);
  p.drawArc(QRectF(58, 60, 12, 12), 200 * 16, 140 * 16);
  p.setPen(QPen(QColor(150, 30, 30), 4, Qt::SolidLine, Qt::RoundCap));
  p.drawArc(QRectF(36, 52, 56, 46), 205 * 16, 130 * 16);
  return image;
}

// A quill, with a transparent background as icons have.
QImage quillIcon() {
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath feather;
  feather.moveTo(29, 2);
  feather.cubicTo(18, 3, 9, 12, 8, 24);
  feather.cubicTo(16, 22, 26, 14, 29, 2);
  p.setPen(QPen(QColor(55, 55, 95), 1.2));
  p.setBrush(QColor(235, 238, 252));
  p.drawPath(feather);
  p.setPen(QPen(QColor(90, 90, 140), 1));
  p.drawLine(QPointF(27, 5), QPointF(9, 23));
  p.setPen(QPen(QColor(30, 30, 40), 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(9, 23), QPointF(4, 28));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(20, 60, 170));
  p.drawEllipse(QPointF(4, 29), 2.5, 2);
  return image;
}

QImage flowerInPot() {
  QImage image = canvas(120, 120, QColor(250, 246, 232));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(40, 130, 50), 4));
  p.drawLine(60, 48, 60, 88);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(70, 160, 70));
  p.save();
  p.translate(60, 72);
  p.rotate(-35);
  p.drawEllipse(QRectF(-22, -6, 22, 12));
  p.rotate(70);
  p.drawEllipse(QRectF(0, -6, 22, 12));
  p.restore();

  p.setBrush(QColor(235, 90, 150));
  for (int i = 0; i < 8; ++i) {
    p.save();
    p.translate(60, 40);
    p.rotate(i * 45);
    p.drawEllipse(QRectF(6, -6, 22, 12));
    p.restore();
  }
  p.setBrush(QColor(250, 205, 40));
  p.drawEllipse(QPointF(60, 40), 8, 8);

  p.setBrush(QColor(190, 95, 55));
  p.drawPolygon(QPolygonF{{38, 88}, {82, 88}, {76, 114}, {44, 114}});
  p.setBrush(QColor(165, 80, 45));
  p.drawRect(QRectF(35, 84, 50, 8));
  return image;
}

QImage teacup() {
  QImage image = canvas(64, 64, Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(30, 60, 140), 3));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(40, 26, 14, 14));
  p.setPen(QPen(QColor(30, 60, 140), 1.5));
  p.setBrush(QColor(250, 250, 255));
  p.drawPolygon(QPolygonF{{12, 22}, {48, 22}, {42, 48}, {18, 48}});
  p.setBrush(QColor(150, 90, 40));
  p.drawEllipse(QRectF(12, 19, 36, 7));
  p.setBrush(QColor(220, 225, 240));
  p.drawEllipse(QRectF(6, 46, 48, 8));
  p.setPen(QPen(QColor(170, 170, 170), 1.5));
  p.setBrush(Qt::NoBrush);
  for (const qreal x : {25.0, 34.0}) {
    QPainterPath steam;
    steam.moveTo(x, 16);
    steam.cubicTo(x - 5, 12, x + 5, 8, x, 3);
    p.drawPath(steam);
  }
  return image;
}

QImage pear() {
  QImage image = canvas(64, 64, QColor(255, 250, 240));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  QRadialGradient skin(QPointF(28, 38), 26);
  skin.setColorAt(0, QColor(225, 235, 90));
  skin.setColorAt(1, QColor(150, 175, 40));
  p.setBrush(skin);
  p.drawEllipse(QPointF(32, 44), 16, 16);
  p.drawEllipse(QPointF(32, 24), 9, 11);
  p.setPen(QPen(QColor(100, 70, 30), 2.5));
  p.drawLine(QPointF(32, 14), QPointF(35, 5));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 150, 60));
  p.drawEllipse(QRectF(35, 6, 13, 6));
  return image;
}

QImage pencil() {
  QImage image = canvas(64, 64, Qt::white);
  QPainter p(&image);
  p.translate(32, 32);
  p.rotate(-45);
  p.setPen(Qt::NoPen);
  p.fillRect(QRectF(-22, -5, 36, 10), QColor(250, 190, 30));
  p.fillRect(QRectF(-28, -5, 6, 10), QColor(235, 120, 140));
  p.fillRect(QRectF(-24, -5, 3, 10), QColor(170, 170, 180));
  p.setBrush(QColor(240, 210, 160));
  p.drawPolygon(QPolygonF{{14, -5}, {26, 0}, {14, 5}});
  p.setBrush(QColor(40, 40, 40));
  p.drawPolygon(QPolygonF{{22, -1.7}, {26, 0}, {22, 1.7}});
  return image;
}

// ---------------------------------------------------------------- metafile

// A placeable Windows metafile built record by record: GDI's 16-bit
// drawing commands, little-endian, sizes counted in 16-bit words.
class WmfWriter {
public:
  enum : std::uint16_t {
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kSetBkMode = 0x0102,
    kCreatePenIndirect = 0x02FA,
    kCreateBrushIndirect = 0x02FC,
    kSelectObject = 0x012D,
    kDeleteObject = 0x01F0,
    kRectangle = 0x041B,
    kEllipse = 0x0418,
    kPolygon = 0x0324,
    kMoveTo = 0x0214,
    kLineTo = 0x0213,
  };
  enum : std::uint16_t { kSolid = 0, kNullPen = 5, kSolidBrush = 0, kTransparent = 1 };

  WmfWriter(int width, int height, int unitsPerInch)
      : width_(width), height_(height), unitsPerInch_(unitsPerInch) {
    record(kSetWindowOrg, {0, 0});
    record(kSetWindowExt, {height, width});
  }

  void setBkMode(int mode) { record(kSetBkMode, {mode}); }

  int createPen(int style, int width, QColor colour) {
    const std::uint32_t ref = colorRef(colour);
    record(kCreatePenIndirect, {style, width, 0, int(ref & 0xFFFF), int(ref >> 16)});
    return addObject();
  }

  int createBrush(QColor colour) {
    const std::uint32_t ref = colorRef(colour);
    record(kCreateBrushIndirect, {kSolidBrush, int(ref & 0xFFFF), int(ref >> 16), 0});
    return addObject();
  }

  void select(int object) { record(kSelectObject, {object}); }

  void deleteObject(int object) {
    record(kDeleteObject, {object});
    live_[std::size_t(object)] = false;
  }

  // The corner and edge order GDI records: bottom, right, top, left.
  void rectangle(int left, int top, int right, int bottom) {
    record(kRectangle, {bottom, right, top, left});
  }
  void ellipse(int left, int top, int right, int bottom) {
    record(kEllipse, {bottom, right, top, left});
  }

  void polygon(std::initializer_list<QPoint> points) {
    std::vector<int> params{int(points.size())};
    for (const QPoint point : points) {
      params.push_back(point.x());
      params.push_back(point.y());
    }
    record(kPolygon, params);
  }

  void moveTo(int x, int y) { record(kMoveTo, {y, x}); }
  void lineTo(int x, int y) { record(kLineTo, {y, x}); }

  // The placeable header, the metafile header, the records and the
  // end-of-file record.
  QByteArray finish() {
    record(0x0000, {}); // EOF

    std::vector<std::uint16_t> header{
        0xCDD7, 0x9AC6,
        0, // handle, always zero in a file
        0,      0,      std::uint16_t(width_), std::uint16_t(height_), std::uint16_t(unitsPerInch_),
        0,      0};
    std::uint16_t checksum = 0;
    for (const std::uint16_t word : header)
      checksum ^= word;
    header.push_back(checksum);

    const std::uint32_t totalWords = 9 + std::uint32_t(records_.size());
    const std::vector<std::uint16_t> metaHeader{1,      // in memory, not on disk
                                                9,      // header size in words
                                                0x0300, // Windows 3.0
                                                std::uint16_t(totalWords & 0xFFFF),
                                                std::uint16_t(totalWords >> 16),
                                                std::uint16_t(objectsCreated_),
                                                std::uint16_t(maxRecord_ & 0xFFFF),
                                                std::uint16_t(maxRecord_ >> 16),
                                                0}; // unused

    QByteArray bytes;
    const std::vector<std::uint16_t> *parts[] = {&header, &metaHeader, &records_};
    for (const auto *words : parts)
      for (const std::uint16_t word : *words) {
        bytes.append(char(word & 0xFF));
        bytes.append(char(word >> 8));
      }
    return bytes;
  }

private:
  static std::uint32_t colorRef(QColor colour) {
    return std::uint32_t(colour.red()) | std::uint32_t(colour.green()) << 8 |
           std::uint32_t(colour.blue()) << 16;
  }

  void record(std::uint16_t function, const std::vector<int> &params) {
    const std::uint32_t size = 3 + std::uint32_t(params.size());
    records_.push_back(std::uint16_t(size & 0xFFFF));
    records_.push_back(std::uint16_t(size >> 16));
    records_.push_back(function);
    for (const int param : params)
      records_.push_back(std::uint16_t(std::int16_t(param)));
    maxRecord_ = std::max(maxRecord_, size);
  }

  // A new object takes the lowest free slot of the player's object table.
  int addObject() {
    ++objectsCreated_;
    for (std::size_t i = 0; i < live_.size(); ++i)
      if (!live_[i]) {
        live_[i] = true;
        return int(i);
      }
    live_.push_back(true);
    return int(live_.size() - 1);
  }

  int width_;
  int height_;
  int unitsPerInch_;
  std::vector<std::uint16_t> records_;
  std::vector<bool> live_;
  int objectsCreated_ = 0;
  std::uint32_t maxRecord_ = 0;
};

// A house in the sun, 240 by 160 units at 96 units per inch.
QByteArray houseMetafile() {
  WmfWriter wmf(240, 160, 96);
  wmf.setBkMode(WmfWriter::kTransparent);

  int pen = wmf.createPen(WmfWriter::kNullPen, 0, Qt::black);
  wmf.select(pen);
  int brush = wmf.createBrush(QColor(170, 210, 245));
  wmf.select(brush);
  wmf.rectangle(0, 0, 241, 116);
  // Each new brush or pen is selected before the one it replaces is deleted.
  auto useBrush = [&](QColor colour) {
    const int next = wmf.createBrush(colour);
    wmf.select(next);
    wmf.deleteObject(brush);
    brush = next;
  };
  auto usePen = [&](int style, int width, QColor colour) {
    const int next = wmf.createPen(style, width, colour);
    wmf.select(next);
    wmf.deleteObject(pen);
    pen = next;
  };
  useBrush(QColor(95, 170, 70));
  wmf.rectangle(0, 115, 241, 161);

  usePen(WmfWriter::kSolid, 2, QColor(235, 150, 20));
  useBrush(QColor(255, 215, 50));
  wmf.ellipse(184, 14, 218, 48);

  usePen(WmfWriter::kSolid, 2, QColor(90, 50, 20));
  useBrush(QColor(120, 110, 105));
  wmf.rectangle(124, 34, 138, 64);
  useBrush(QColor(240, 225, 190));
  wmf.rectangle(60, 72, 150, 140);
  useBrush(QColor(190, 45, 35));
  wmf.polygon({{50, 74}, {105, 28}, {160, 74}});
  useBrush(QColor(130, 80, 40));
  wmf.rectangle(96, 102, 116, 140);
  useBrush(QColor(255, 245, 160));
  wmf.rectangle(70, 86, 88, 104);
  wmf.moveTo(79, 86);
  wmf.lineTo(79, 104);
  wmf.moveTo(70, 95);
  wmf.lineTo(88, 95);

  usePen(WmfWriter::kSolid, 1, QColor(60, 110, 40));
  for (int x = 10; x <= 40; x += 6) {
    wmf.moveTo(x, 140);
    wmf.lineTo(x + 3, 132);
    wmf.lineTo(x + 6, 140);
  }
  return wmf.finish();
}

// ---------------------------------------------------------------- documents

// Windows-1251 escapes and Unicode escapes, as word processors write them.
const char *const kLetterRtf =
    R"rtf({\rtf1\ansi\ansicpg1251\deff0\deflang1049
{\fonttbl{\f0\froman\fprq2\fcharset204 Times New Roman;}{\f1\fswiss\fprq2\fcharset204 Arial;}{\f2\fmodern\fprq1\fcharset0 Courier New;}}
{\colortbl ;\red160\green0\blue0;\red0\green70\blue160;}
\viewkind4\uc1\pard\qc\sa200\f1\fs32\b Quillon\b0\par
\pard\sa120\f0\fs24 This letter has \b bold\b0 , \i italic\i0  and \b\i bold italic\b0\i0  words, \cf1 red\cf0  and \cf2 blue\cf0  text, and a \ul line\ulnone  under a word.\par
\'c7\'e4\'f0\'e0\'e2\'f1\'f2\'e2\'f3\'e9\'f2\'e5!\par
\'dd\'f2\'ee \'ef\'e8\'f1\'fc\'ec\'ee \'ed\'e0\'e1\'f0\'e0\'ed\'ee \'e2 \'ea\'ee\'e4\'e8\'f0\'ee\'e2\'ea\'e5 Windows-1251: \b\'e6\'e8\'f0\'ed\'fb\'e9\b0 , \i\'ea\'f3\'f0\'f1\'e8\'e2\i0 .\par
\u1069?\u1090?\u1072? \u1089?\u1090?\u1088?\u1086?\u1082?\u1072? \u1079?\u1072?\u1087?\u1080?\u1089?\u1072?\u1085?\u1072? \u1082?\u1086?\u1076?\u1072?\u1084?\u1080? \u1070?\u1085?\u1080?\u1082?\u1086?\u1076?\u1072?: \u1105?\u1083?\u1082?\u1072?, \u1097?\u1091?\u1082?\u1072?, \u1089?\u1098?\u1077?\u1079?\u1076?.\par
\f2\fs20 select  top 10 * from Docs\f0\fs24\par
\pard\qr\i\'d1\'e5\'f0\'e4\'e5\'f7\'ed\'ee \'e2\'e0\'f8, Quillon\i0\par
}
)rtf";

// A shorter letter for a text column, where the viewer formats RTF.
const char *const kNoteRtf =
    R"rtf({\rtf1\ansi\ansicpg1251\deff0{\fonttbl{\f0\fswiss\fcharset204 Arial;}}
\uc1\pard\f0\fs22\b\u1053?\u1072?\u1087?\u1086?\u1084?\u1080?\u1085?\u1072?\u1085?\u1080?\u1077?\b0 : \i\'ef\'ee\'eb\'e8\'f2\'fc \'f6\'e2\'e5\'f2\'ee\'ea\i0  \'e8 \'ef\'ee\'e7\'e2\'ee\'ed\'e8\'f2\'fc \'e4\'ee\'ec\'ee\'e9.\par
}
)rtf";

// LF line ends.
const char *const kRussianText = "Quillon — демонстрационная база данных.\n"
                                 "\n"
                                 "В таблице Docs лежат картинки, документы и тексты. Выберите\n"
                                 "ячейку, чтобы увидеть её значение, сохраните его в файл\n"
                                 "или загрузите новое из файла или буфера обмена.\n"
                                 "\n"
                                 "Съешь же ещё этих мягких французских булок, да выпей чаю.\n";

// CR LF line ends.
const char *const kEnglishText =
    "Quillon demo database\r\n"
    "\r\n"
    "Each row of Docs holds one kind of value: pictures in JPEG, GIF, BMP,\r\n"
    "WMF, ICO and PNG, an RTF letter and two plain texts, a NULL and an\r\n"
    "empty value.\r\n"
    "\r\n"
    "The quick brown fox jumps over the lazy dog.\r\n";

// ---------------------------------------------------------------- database

struct Null {};
using Value = std::variant<Null, qint64, QString, QByteArray>;

Value text(const char *utf8) {
  return QString::fromUtf8(utf8);
}

Value blob(const char *bytes) {
  return QByteArray(bytes);
}

Value blob(std::initializer_list<unsigned char> bytes) {
  QByteArray value;
  for (const unsigned char byte : bytes)
    value.append(char(byte));
  return value;
}

struct Row {
  const char *table; // as the insert names it
  const char *label; // for messages
  std::vector<Value> values;
};

struct Contents {
  std::vector<Row> rows;
};

Contents demoContents() {
  Contents c;
  auto doc = [&c](qint64 id, const char *name, const char *kind, Value data, Value notes,
                  Value small, qint64 counter) {
    c.rows.push_back({"Docs", name, {id, text(name), text(kind), data, notes, small, counter}});
  };
  doc(1, "Landscape", "JPEG", encodeWithQt(landscape(), "jpg"),
      text("Горный пейзаж с озером, JPEG 320×200"), blob({0xFF, 0xD8, 0xFF}), 12);
  doc(2, "Chart", "GIF", encodeGif(barChart()), text("Bar chart with a trend line, GIF 240×160"),
      blob("GIF"), 7);
  doc(3, "Face", "BMP", encodeWithQt(face(), "bmp"), text("Улыбающееся лицо, BMP 128×128"), Null{},
      42);
  doc(4, "House", "WMF", houseMetafile(),
      text("House in the sun, placeable Windows metafile 240×160 at 96 units per inch"),
      blob({0xD7, 0xCD, 0xC6, 0x9A}), 3);
  doc(5, "Quill", "ICO", encodeWithQt(quillIcon(), "ico"), text("Перо, значок 32×32"), Null{}, 1);
  doc(6, "Flower", "PNG", encodeWithQt(flowerInPot(), "png"),
      text("Flower in a pot, PNG 120×120: a picture the viewer does not show"), Null{}, 0);
  doc(7, "Letter", "RTF", QByteArray(kLetterRtf),
      text("Письмо в RTF: шрифты, жирный и курсив, кириллица в cp1251 и Юникоде"),
      blob({'{', '\\', 'r', 't', 'f'}), 5);
  doc(8, "Russian text", "Text", QByteArray(kRussianText),
      text("Русский текст в UTF-8, строки через LF"), Null{}, 8);
  doc(9, "English text", "Text", QByteArray(kEnglishText),
      text("English text, lines end with CR LF"), blob({0x0D, 0x0A}), 9);
  doc(10, "Nothing", "NULL", Null{}, Null{}, Null{}, -1);
  doc(11, "Empty", "Empty", QByteArray(), text("Пустое значение: ноль байт, но не NULL"),
      QByteArray(), 0);

  auto line = [&c](qint64 number, qint64 order, const char *product, qint64 quantity, Value photo) {
    c.rows.push_back({"[Order Lines]", product, {number, order, text(product), quantity, photo}});
  };
  line(1, 1001, "Teacup", 4, encodeWithQt(teacup(), "bmp"));
  line(2, 1001, "Pear", 12, encodeWithQt(pear(), "jpg"));
  line(3, 1002, "Pencil", 30, encodeGif(pencil()));
  line(4, 1003, "Gift card", 1, Null{});

  auto loose = [&c](const char *title, Value body) {
    c.rows.push_back({"Loose", title, {text(title), body}});
  };
  loose("Shopping list", text("bread\nmilk\npears\npencils\n"));
  loose("Записка", text(kNoteRtf));
  loose("Пословица", text("Тише едешь — дальше будешь.\n"));
  // Two equal rows: nothing but the engine's own row identity tells them apart.
  loose("Twin", text("Same title, same body."));
  loose("Twin", text("Same title, same body."));
  return c;
}

const char *const kSchema = R"sql(
create table Docs (
  ID integer primary key,
  Name varchar(50),
  Kind varchar(20),
  Data image,
  Notes text,
  Small varbinary(50),
  Counter int
);
create table [Order Lines] (
  Line integer primary key,
  OrderNo int,
  Product varchar(40),
  Quantity int,
  Photo image
);
create table Loose (
  Title varchar(40),
  Body text
);
)sql";

class Database {
public:
  explicit Database(const QString &path) {
    const int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK)
      throw Failure(QStringLiteral("opening it failed: %1").arg(sqlite3_errstr(rc)));
  }
  ~Database() { sqlite3_close(db_); }
  Database(const Database &) = delete;
  Database &operator=(const Database &) = delete;

  void exec(const char *sql, const QString &what) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
      throw Failure(QStringLiteral("%1 failed: %2").arg(what, error()));
  }

  void insert(const Row &row) {
    QString sql = QStringLiteral("insert into %1 values (").arg(QLatin1String(row.table));
    for (std::size_t i = 0; i < row.values.size(); ++i)
      sql += i ? QStringLiteral(", ?") : QStringLiteral("?");
    sql += QLatin1Char(')');
    const QString what = QStringLiteral("inserting %1 into %2")
                             .arg(QString::fromUtf8(row.label), QLatin1String(row.table));

    sqlite3_stmt *stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db_, utf8.constData(), int(utf8.size()), &stmt, nullptr) != SQLITE_OK)
      throw Failure(QStringLiteral("%1 failed: %2").arg(what, error()));
    int rc = SQLITE_OK;
    for (std::size_t i = 0; i < row.values.size() && rc == SQLITE_OK; ++i)
      rc = bind(stmt, int(i) + 1, row.values[i]);
    if (rc == SQLITE_OK)
      rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
      throw Failure(QStringLiteral("%1 failed: %2").arg(what, error()));
  }

private:
  static int bind(sqlite3_stmt *stmt, int index, const Value &value) {
    if (std::holds_alternative<qint64>(value))
      return sqlite3_bind_int64(stmt, index, std::get<qint64>(value));
    if (std::holds_alternative<QString>(value)) {
      const QByteArray utf8 = std::get<QString>(value).toUtf8();
      return sqlite3_bind_text64(stmt, index, utf8.constData(), sqlite3_uint64(utf8.size()),
                                 SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    if (std::holds_alternative<QByteArray>(value)) {
      // Bytes go in as blobs: "image" columns have numeric affinity and would
      // turn a text such as "12" into a number.
      const QByteArray &bytes = std::get<QByteArray>(value);
      if (bytes.isEmpty()) // a zero-length value, not NULL
        return sqlite3_bind_zeroblob(stmt, index, 0);
      return sqlite3_bind_blob64(stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()),
                                 SQLITE_TRANSIENT);
    }
    return sqlite3_bind_null(stmt, index);
  }

  QString error() const { return QString::fromUtf8(sqlite3_errmsg(db_)); }

  sqlite3 *db_ = nullptr;
};

void writeDatabase(const QString &path, const Contents &contents) {
  Database db(path);
  db.exec("begin immediate", QStringLiteral("starting the transaction"));
  db.exec(kSchema, QStringLiteral("creating the tables"));
  for (const Row &row : contents.rows)
    db.insert(row);
  db.exec("commit", QStringLiteral("committing"));
}

// ---------------------------------------------------------------- files

bool pathExists(const QString &path) {
  struct stat info;
  return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

// Creates `path` only when nothing has that name, so a file made meanwhile
// by someone else is not overwritten either. -1 with errno on failure.
int createNew(const QString &path) {
  return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
}

int refuse(const QString &path) {
  printError(QStringLiteral("%1 already exists; not overwriting it").arg(path));
  return 1;
}

int makeDatabase(const QString &path) {
  if (pathExists(path))
    return refuse(path);

  // Every value is made before the file is, so a missing image plugin leaves
  // nothing behind.
  Contents contents;
  try {
    contents = demoContents();
  } catch (const Failure &failure) {
    printError(
        QStringLiteral("%1 was not created: %2").arg(path, QString::fromStdString(failure.what())));
    return 1;
  }

  const int fd = createNew(path);
  if (fd < 0) {
    if (errno == EEXIST)
      return refuse(path);
    printError(QStringLiteral("cannot create %1: %2")
                   .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    return 1;
  }
  ::close(fd); // SQLite takes an empty file as an empty database

  try {
    writeDatabase(path, contents);
  } catch (const Failure &failure) {
    ::unlink(QFile::encodeName(path).constData());
    ::unlink(QFile::encodeName(path + QStringLiteral("-journal")).constData());
    printError(QStringLiteral("cannot write the demo database %1: %2; the partial file was removed")
                   .arg(path, QString::fromStdString(failure.what())));
    return 1;
  }
  return 0;
}

int writeDataLink(const QString &udlPath, const QString &databasePath) {
  if (pathExists(udlPath))
    return refuse(udlPath);
  // The data source is relative to the data-link file's folder, so the pair
  // can be moved together.
  const QString source = QDir(QFileInfo(udlPath).absolutePath())
                             .relativeFilePath(QFileInfo(databasePath).absoluteFilePath());
  quillon::data::InitProperties properties;
  properties.set(QStringLiteral("Provider"), QStringLiteral("SQLite"));
  properties.set(QStringLiteral("Data Source"), source);
  QString error;
  if (!quillon::data::createDataLinkFile(udlPath, properties.toString(), &error)) {
    printError(error);
    return 1;
  }
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  // The image plugins (JPEG, ICO) are found through the application object.
  QCoreApplication app(argc, argv);
  QStringList args = QCoreApplication::arguments();
  args.removeFirst();

  if (args.size() == 1 && (args[0] == QLatin1String("-h") || args[0] == QLatin1String("--help"))) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.size() == 1 && !args[0].startsWith(QLatin1Char('-')))
    return makeDatabase(args[0]);
  if (args.size() == 3 && args[0] == QLatin1String("--udl") && !args[1].isEmpty() &&
      !args[2].isEmpty())
    return writeDataLink(args[1], args[2]);
  std::fputs(kUsage, stderr);
  return 2;
}
