#include "viewer/WmfRenderer.h"

#include "viewer/Bytes.h"
#include "viewer/CodePage.h"
#include "viewer/Dib.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <functional>
#include <new>
#include <numbers>
#include <optional>
#include <queue>
#include <variant>
#include <vector>

namespace quillon::viewer {

using detail::Bytes;
using detail::Damaged;
using detail::damaged;

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr int kPlaceableHeaderBytes = 22;
constexpr int kMetaHeaderBytes = 18;
constexpr int kScreenDpi = 96;
constexpr int kMaxSide = 32767;
// Coordinates far outside any picture only cost time; they are clamped.
constexpr double kCoordinateLimit = 1 << 22;
constexpr double kMaxPenWidth = 1 << 14;
constexpr double kMaxFontPixels = 4096;
constexpr std::size_t kMaxSavedStates = 1024;
// How often a player looks whether its picture is still wanted.
constexpr qint64 kRecordsBetweenChecks = 4096;
// GDI's system font is 16 pixels high; a font of height 0 gets it.
constexpr double kDefaultFontPixels = 16;

enum : std::uint16_t {
  kEof = 0x0000,
  kSaveDC = 0x001E,
  kCreatePalette = 0x00F7,
  kSetBkMode = 0x0102,
  kSetMapMode = 0x0103,
  kSetPolyFillMode = 0x0106,
  kRestoreDC = 0x0127,
  kSelectClipRegion = 0x012C,
  kSelectObject = 0x012D,
  kSetTextAlign = 0x012E,
  kDibCreatePatternBrush = 0x0142,
  kDeleteObject = 0x01F0,
  kCreatePatternBrush = 0x01F9,
  kSetBkColor = 0x0201,
  kSetTextColor = 0x0209,
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kSetViewportOrg = 0x020D,
  kSetViewportExt = 0x020E,
  kOffsetWindowOrg = 0x020F,
  kOffsetViewportOrg = 0x0211,
  kLineTo = 0x0213,
  kMoveTo = 0x0214,
  kOffsetClipRgn = 0x0220,
  kCreatePenIndirect = 0x02FA,
  kCreateFontIndirect = 0x02FB,
  kCreateBrushIndirect = 0x02FC,
  kPolygon = 0x0324,
  kPolyline = 0x0325,
  kScaleWindowExt = 0x0410,
  kScaleViewportExt = 0x0412,
  kExcludeClipRect = 0x0415,
  kIntersectClipRect = 0x0416,
  kEllipse = 0x0418,
  kRectangle = 0x041B,
  kSetPixel = 0x041F,
  kTextOut = 0x0521,
  kPolyPolygon = 0x0538,
  kRoundRect = 0x061C,
  kPatBlt = 0x061D,
  kCreateRegion = 0x06FF,
  kArc = 0x0817,
  kPie = 0x081A,
  kChord = 0x0830,
  kBitBlt = 0x0922,
  kDibBitBlt = 0x0940,
  kExtTextOut = 0x0A32,
  kStretchBlt = 0x0B23,
  kDibStretchBlt = 0x0B41,
  kSetDibToDev = 0x0D33,
  kStretchDib = 0x0F43,
};

enum MapMode {
  kText = 1,
  kLoMetric,
  kHiMetric,
  kLoEnglish,
  kHiEnglish,
  kTwips,
  kIsotropic,
  kAnisotropic
};
enum { kTransparent = 1, kOpaque = 2 };
enum { kPsSolid, kPsDash, kPsDot, kPsDashDot, kPsDashDotDot, kPsNull, kPsInsideFrame };
enum { kBsSolid, kBsNull, kBsHatched, kBsPattern };
enum { kTaUpdateCp = 1, kTaRight = 2, kTaCenter = 6, kTaBottom = 8, kTaBaseline = 24 };
enum { kEtoOpaque = 2, kEtoClipped = 4 };
enum { kDibPalColours = 1 };

// Text in a metafile is in the code page of its font's character set.
QString decodeText(CodePageDecoders &decoders, const Bytes &bytes, int charset) {
  const int codePage = codePageOfCharset(charset);
  return decoders.decode(
      QByteArray::fromRawData(reinterpret_cast<const char *>(bytes.data()), bytes.size()),
      codePage > 0 ? codePage : kDefaultCodePage);
}

QColor colorRef(std::uint32_t ref) {
  return QColor(int(ref & 0xFF), int(ref >> 8 & 0xFF), int(ref >> 16 & 0xFF));
}

double clampCoordinate(double v) {
  return std::isnan(v) ? 0 : std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

// Keeps a logical-to-device scale finite and non-zero, so no product with
// it becomes infinite or NaN.
double boundScale(double scale) {
  const double magnitude = std::clamp(std::abs(scale), 1 / kCoordinateLimit, kCoordinateLimit);
  return std::copysign(std::isnan(scale) ? 1 : magnitude, scale);
}

struct Header {
  QSize size;
  QRect bounds; // logical units
  qint64 recordsOffset = 0;
};

Header readHeader(const Bytes &bytes) {
  bytes.need(0, kPlaceableHeaderBytes, "the placeable header");
  if (bytes.u32(0) != kPlaceableKey)
    damaged(QStringLiteral("the value is no placeable metafile"));
  std::uint16_t checksum = 0;
  for (int i = 0; i < 10; ++i)
    checksum ^= bytes.u16(2 * i);
  if (checksum != bytes.u16(20))
    damaged(QStringLiteral("the placeable header's checksum is %1, its words give %2")
                .arg(bytes.u16(20))
                .arg(checksum));
  const int left = bytes.i16(6), top = bytes.i16(8), right = bytes.i16(10), bottom = bytes.i16(12);
  const int inch = bytes.u16(14);
  if (inch == 0)
    damaged(QStringLiteral("the placeable header gives 0 units an inch"));
  if (left == right || top == bottom)
    damaged(QStringLiteral("the placeable header's bounding box is empty"));
  const qint64 width =
      std::max<qint64>(1, (qint64(std::abs(right - left)) * kScreenDpi + inch / 2) / inch);
  const qint64 height =
      std::max<qint64>(1, (qint64(std::abs(bottom - top)) * kScreenDpi + inch / 2) / inch);
  if (width > kMaxSide || height > kMaxSide || width * height > detail::kMaxPixels)
    damaged(QStringLiteral("the metafile of %1 by %2 pixels is too large").arg(width).arg(height));

  const Bytes meta = bytes.from(kPlaceableHeaderBytes, "the metafile header");
  meta.need(0, kMetaHeaderBytes, "the metafile header");
  const int type = meta.u16(0), headerWords = meta.u16(2), version = meta.u16(4);
  if ((type != 1 && type != 2) || headerWords != kMetaHeaderBytes / 2 ||
      (version != 0x0100 && version != 0x0300))
    damaged(QStringLiteral("the metafile header (type %1, %2 words, version 0x%3) is not valid")
                .arg(type)
                .arg(headerWords)
                .arg(version, 4, 16, QLatin1Char('0')));
  Header header;
  header.size = QSize(int(width), int(height));
  header.bounds = QRect(QPoint(left, top), QPoint(right, bottom));
  header.recordsOffset = kPlaceableHeaderBytes + kMetaHeaderBytes;
  return header;
}

// One record's parameters: 16-bit words after its size and function.
class Params {
public:
  Params(const Bytes &bytes, std::uint16_t function, qint64 offset)
      : bytes_(bytes), function_(function), offset_(offset) {}

  qint64 words() const { return bytes_.size() / 2; }
  void need(qint64 byteOffset, qint64 count) const {
    if (!bytes_.has(byteOffset, count))
      damaged(QStringLiteral("the record 0x%1 at byte %2 is too short")
                  .arg(function_, 4, 16, QLatin1Char('0'))
                  .arg(offset_));
  }
  std::int16_t operator[](qint64 word) const {
    need(2 * word, 2);
    return bytes_.i16(2 * word);
  }
  std::uint16_t u16(qint64 word) const { return std::uint16_t((*this)[word]); }
  std::uint32_t u32(qint64 word) const { return u16(word) | std::uint32_t(u16(word + 1)) << 16; }
  Bytes bytes(qint64 byteOffset, qint64 count) const {
    need(byteOffset, count);
    return bytes_.mid(byteOffset, count, "a record");
  }
  Bytes from(qint64 byteOffset) const {
    need(byteOffset, 0);
    return bytes_.from(byteOffset, "a record");
  }

private:
  Bytes bytes_;
  std::uint16_t function_;
  qint64 offset_;
};

struct Pen {
  int style = kPsSolid;
  int width = 0; // logical; 0 is one pixel
  QColor colour = Qt::black;
};

struct Brush {
  int style = kBsSolid;
  QColor colour = Qt::white;
  int hatch = 0;
  QImage pattern;
};

struct Font {
  int height = 0; // logical; negative: the character height, positive: the cell's
  int escapement = 0;
  int weight = 0;
  bool italic = false, underline = false, strikeOut = false;
  int charset = 0;
  QString face;
};

// A region's rectangles in logical units, right and bottom edges excluded.
struct Region {
  std::vector<QRect> rects;
};

// Palettes hold table slots but are not drawn with.
struct OtherObject {};
using Object = std::variant<OtherObject, Pen, Brush, Font, Region>;

struct State {
  int mapMode = kAnisotropic;
  QPointF windowOrg, windowExt{1, 1}, viewportOrg, viewportExt{1, 1};
  Pen pen;
  Brush brush;
  Font font;
  QColor textColour = Qt::black, bkColour = Qt::white;
  int bkMode = kOpaque;
  int textAlign = 0;
  Qt::FillRule fillRule = Qt::OddEvenFill;
  QPointF position; // logical
  std::optional<QRegion> clip;
};

class Player {
public:
  Player(QPainter &painter, const Header &header, const Bytes &records,
         const std::atomic<bool> *abandoned)
      : painter_(painter), records_(records), recordsOffset_(header.recordsOffset),
        box_(QPoint(0, 0), header.size), abandoned_(abandoned),
        fonts_(qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr) {
    // The player's device: the header's box drawn onto the picture.
    s_.windowOrg = header.bounds.topLeft();
    s_.windowExt = QPointF(header.bounds.right() - header.bounds.left(),
                           header.bounds.bottom() - header.bounds.top());
    s_.viewportExt = QPointF(header.size.width(), header.size.height());
    updateScale();
    painter_.setRenderHint(QPainter::Antialiasing, false);
    applyClip();
  }

  void play() {
    qint64 pos = 0;
    for (qint64 played = 0;; ++played) {
      if (abandoned_ && played % kRecordsBetweenChecks == 0 && abandoned_->load())
        damaged(QStringLiteral("abandoned"));
      const qint64 at = recordsOffset_ + pos;
      if (!records_.has(pos, 6))
        damaged(QStringLiteral("the metafile ends at byte %1 without its end record").arg(at));
      const qint64 words = records_.u32(pos);
      const std::uint16_t function = records_.u16(pos + 4);
      if (words < 3)
        damaged(QStringLiteral("the record at byte %1 claims %2 words").arg(at).arg(words));
      if (!records_.has(pos, words * 2))
        damaged(QStringLiteral("the record 0x%1 at byte %2 runs past the end of the value")
                    .arg(function, 4, 16, QLatin1Char('0'))
                    .arg(at));
      if (function == kEof)
        return;
      record(function, Params(records_.mid(pos + 6, words * 2 - 6, "a record"), function, at));
      pos += words * 2;
    }
  }

private:
  void record(std::uint16_t function, const Params &p) {
    switch (function) {
    case kSaveDC:
      if (saved_.size() < kMaxSavedStates)
        saved_.push_back(s_);
      break;
    case kRestoreDC:
      restoreDC(p[0]);
      break;
    case kSetMapMode:
      if (p[0] >= kText && p[0] <= kAnisotropic) {
        s_.mapMode = p[0];
        updateScale();
      }
      break;
    case kSetWindowOrg:
      s_.windowOrg = QPointF(p[1], p[0]);
      updateScale();
      break;
    case kSetWindowExt:
      if (p[0] != 0 && p[1] != 0) // GDI refuses an extent of 0
        s_.windowExt = QPointF(p[1], p[0]);
      updateScale();
      break;
    case kSetViewportOrg:
      s_.viewportOrg = QPointF(p[1], p[0]);
      updateScale();
      break;
    case kSetViewportExt:
      if (p[0] != 0 && p[1] != 0)
        s_.viewportExt = QPointF(p[1], p[0]);
      updateScale();
      break;
    case kOffsetWindowOrg:
      s_.windowOrg += QPointF(p[1], p[0]);
      updateScale();
      break;
    case kOffsetViewportOrg:
      s_.viewportOrg += QPointF(p[1], p[0]);
      updateScale();
      break;
    case kScaleWindowExt:
      scaleExtent(s_.windowExt, p);
      break;
    case kScaleViewportExt:
      scaleExtent(s_.viewportExt, p);
      break;
    case kSetBkColor:
      s_.bkColour = colorRef(p.u32(0));
      break;
    case kSetTextColor:
      s_.textColour = colorRef(p.u32(0));
      break;
    case kSetBkMode:
      if (p[0] == kTransparent || p[0] == kOpaque)
        s_.bkMode = p[0];
      break;
    case kSetTextAlign:
      s_.textAlign = p.u16(0);
      break;
    case kSetPolyFillMode:
      if (p[0] == 1 || p[0] == 2)
        s_.fillRule = p[0] == 1 ? Qt::OddEvenFill : Qt::WindingFill;
      break;
    case kCreatePenIndirect: {
      Pen pen;
      pen.style = p.u16(0);
      pen.width = p[1];
      pen.colour = colorRef(p.u32(3));
      addObject(pen);
      break;
    }
    case kCreateBrushIndirect: {
      Brush brush;
      brush.style = p.u16(0);
      brush.colour = colorRef(p.u32(1));
      brush.hatch = p.u16(3);
      addObject(brush);
      break;
    }
    case kCreateFontIndirect:
      addObject(readFont(p));
      break;
    case kDibCreatePatternBrush: {
      Brush brush;
      brush.style = kBsPattern;
      if (p.u16(1) != kDibPalColours)
        brush.pattern = detail::decodePackedDib(p.from(4));
      addObject(brush);
      break;
    }
    case kCreatePatternBrush: {
      // A Bitmap16 header, 18 unused bytes, then the pattern's bits.
      Brush brush;
      brush.style = kBsPattern;
      brush.pattern = bitmap16(p.bytes(0, 10), p.from(28));
      addObject(brush);
      break;
    }
    case kCreatePalette:
      addObject(OtherObject{});
      break;
    case kCreateRegion:
      addObject(readRegion(p));
      break;
    case kSelectObject:
      selectObject(p.u16(0));
      break;
    case kDeleteObject:
      deleteObject(p.u16(0));
      break;
    case kMoveTo:
      s_.position = QPointF(p[1], p[0]);
      break;
    case kLineTo: {
      const QPointF to(p[1], p[0]);
      painter_.setPen(qpen());
      painter_.drawLine(toDevice(s_.position), toDevice(to));
      s_.position = to;
      break;
    }
    case kRectangle:
      if (const auto r = figureRect(p[3], p[2], p[1], p[0]))
        shape([&] { painter_.drawRect(*r); });
      break;
    case kRoundRect:
      if (const auto r = figureRect(p[5], p[4], p[3], p[2])) {
        const double rx = std::abs(p[1] * sx_) / 2, ry = std::abs(p[0] * sy_) / 2;
        shape([&] { painter_.drawRoundedRect(QRectF(*r), rx, ry, Qt::AbsoluteSize); });
      }
      break;
    case kEllipse:
      if (const auto r = figureRect(p[3], p[2], p[1], p[0]))
        shape([&] { painter_.drawEllipse(*r); });
      break;
    case kArc:
    case kPie:
    case kChord:
      arc(function, p);
      break;
    case kPolygon: {
      const QPolygonF polygon = points(p, 1, p.u16(0));
      shape([&] { painter_.drawPolygon(polygon, s_.fillRule); });
      break;
    }
    case kPolyline: {
      const QPolygonF polyline = points(p, 1, p.u16(0));
      shape([&] { painter_.drawPolyline(polyline); }, false);
      break;
    }
    case kPolyPolygon:
      polyPolygon(p);
      break;
    case kSetPixel: {
      const QPoint at = toDevice(QPointF(p[3], p[2])).toPoint();
      painter_.fillRect(QRect(at, QSize(1, 1)), colorRef(p.u32(0)));
      break;
    }
    case kTextOut: {
      const int length = p.u16(0);
      const qint64 padded = (length + 1) / 2;
      const Bytes text = p.bytes(2, length);
      drawText(QPointF(p[2 + padded], p[1 + padded]), text, 0, std::nullopt, {});
      break;
    }
    case kExtTextOut:
      extTextOut(p);
      break;
    case kPatBlt:
      patBlt(deviceRect(p[5], p[4], p[5] + p[3], p[4] + p[2]), p.u32(0));
      break;
    case kStretchDib:
      if (p.u16(2) != kDibPalColours)
        dibBlit(p.from(22), QRect(p[6], p[5], p[4], p[3]), p[10], p[9], p[8], p[7], p.u32(0));
      break;
    case kSetDibToDev:
      if (p.u16(0) != kDibPalColours)
        dibBlit(p.from(18), QRect(p[4], p[3], p[6], p[5]), p[8], p[7], p[6], p[5], 0x00CC0020);
      break;
    case kDibStretchBlt:
    case kStretchBlt:
      if (p.words() == function >> 8) // no bitmap: a reserved word, then as below
        patBlt(deviceRect(p[10], p[9], p[10] + p[8], p[9] + p[7]), p.u32(0));
      else if (function == kDibStretchBlt)
        dibBlit(p.from(20), QRect(p[5], p[4], p[3], p[2]), p[9], p[8], p[7], p[6], p.u32(0));
      else
        blit(bitmap16(p.bytes(20, 10), p.from(30)), QRect(p[5], p[4], p[3], p[2]), p[9], p[8], p[7],
             p[6], p.u32(0));
      break;
    case kDibBitBlt:
    case kBitBlt:
      if (p.words() == function >> 8)
        patBlt(deviceRect(p[8], p[7], p[8] + p[6], p[7] + p[5]), p.u32(0));
      else if (function == kDibBitBlt)
        dibBlit(p.from(16), QRect(p[3], p[2], p[5], p[4]), p[7], p[6], p[5], p[4], p.u32(0));
      else
        blit(bitmap16(p.bytes(16, 10), p.from(26)), QRect(p[3], p[2], p[5], p[4]), p[7], p[6], p[5],
             p[4], p.u32(0));
      break;
    case kIntersectClipRect:
    case kExcludeClipRect: {
      const QRect r = deviceRect(p[3], p[2], p[1], p[0]);
      if (function == kIntersectClipRect)
        s_.clip = s_.clip ? s_.clip->intersected(r) : QRegion(r);
      else
        s_.clip = (s_.clip ? *s_.clip : QRegion(everywhere())).subtracted(r);
      applyClip();
      break;
    }
    case kOffsetClipRgn:
      if (s_.clip) {
        s_.clip->translate(int(clampCoordinate(p[1] * sx_)), int(clampCoordinate(p[0] * sy_)));
        applyClip();
      }
      break;
    case kSelectClipRegion:
      selectClipRegion(p.u16(0));
      break;
    default:
      break; // not drawn: skipped by its size
    }
  }

  // ---------------------------------------------------------- mapping

  void updateScale() {
    constexpr double kMmInch = 25.4;
    switch (s_.mapMode) {
    case kText:
      sx_ = sy_ = 1;
      return;
    case kLoMetric:
      sx_ = kScreenDpi / kMmInch / 10;
      break;
    case kHiMetric:
      sx_ = kScreenDpi / kMmInch / 100;
      break;
    case kLoEnglish:
      sx_ = kScreenDpi / 100.0;
      break;
    case kHiEnglish:
      sx_ = kScreenDpi / 1000.0;
      break;
    case kTwips:
      sx_ = kScreenDpi / 1440.0;
      break;
    default: {
      sx_ = boundScale(s_.viewportExt.x() / s_.windowExt.x());
      sy_ = boundScale(s_.viewportExt.y() / s_.windowExt.y());
      if (s_.mapMode == kIsotropic) {
        const double scale = std::min(std::abs(sx_), std::abs(sy_));
        sx_ = std::copysign(scale, sx_);
        sy_ = std::copysign(scale, sy_);
      }
      return;
    }
    }
    sy_ = -sx_; // the fixed modes count y upwards
  }

  void scaleExtent(QPointF &extent, const Params &p) {
    // yDenom, yNum, xDenom, xNum
    if (p[0] == 0 || p[2] == 0 || p[1] == 0 || p[3] == 0)
      return;
    const QPointF scaled(extent.x() * p[3] / p[2], extent.y() * p[1] / p[0]);
    // Extents stay within what 16-bit records can set, give or take.
    constexpr double kLow = 1e-6, kHigh = 1e12;
    for (const double v : {scaled.x(), scaled.y()})
      if (std::abs(v) < kLow || std::abs(v) > kHigh)
        return;
    extent = scaled;
    updateScale();
  }

  QPointF toDevice(QPointF logical) const {
    return QPointF(clampCoordinate((logical.x() - s_.windowOrg.x()) * sx_ + s_.viewportOrg.x()),
                   clampCoordinate((logical.y() - s_.windowOrg.y()) * sy_ + s_.viewportOrg.y()));
  }

  // The device pixels between two logical corners, right and bottom
  // edges excluded.
  QRect deviceRect(int left, int top, int right, int bottom) const {
    const QPointF a = toDevice(QPointF(left, top)), b = toDevice(QPointF(right, bottom));
    const int x1 = int(std::lround(std::min(a.x(), b.x())));
    const int x2 = int(std::lround(std::max(a.x(), b.x())));
    const int y1 = int(std::lround(std::min(a.y(), b.y())));
    const int y2 = int(std::lround(std::max(a.y(), b.y())));
    return QRect(x1, y1, x2 - x1, y2 - y1);
  }

  // A figure's box for QPainter: GDI leaves out the right and bottom edges,
  // and QPainter draws an outline one pixel beyond its rectangle's.
  std::optional<QRect> figureRect(int left, int top, int right, int bottom) const {
    const QRect r = deviceRect(left, top, right, bottom);
    if (r.width() < 2 || r.height() < 2)
      return std::nullopt;
    return r.adjusted(0, 0, -1, -1);
  }

  QRect everywhere() const {
    const int limit = int(kCoordinateLimit);
    return QRect(QPoint(-limit, -limit), QPoint(limit, limit));
  }

  // ---------------------------------------------------------- objects

  void addObject(Object object) {
    // A new object takes the lowest free slot, as GDI's player does; the
    // table grows past the header's count rather than dropping objects.
    if (!freeSlots_.empty()) {
      objects_[freeSlots_.top()] = std::move(object);
      freeSlots_.pop();
    } else {
      objects_.push_back(std::move(object));
    }
  }

  void selectObject(std::size_t index) {
    if (index >= objects_.size() || !objects_[index])
      return; // GDI ignores a selection of nothing
    const Object &object = *objects_[index];
    if (const auto *pen = std::get_if<Pen>(&object))
      s_.pen = *pen;
    else if (const auto *brush = std::get_if<Brush>(&object))
      s_.brush = *brush;
    else if (const auto *font = std::get_if<Font>(&object))
      s_.font = *font;
  }

  void deleteObject(std::size_t index) {
    if (index >= objects_.size() || !objects_[index])
      return;
    objects_[index].reset();
    freeSlots_.push(index);
  }

  Region readRegion(const Params &p) const {
    // Chain, type, count (2 words), size, scans, largest scan, bounds
    // (4 words), then each scan: its count of x values, top, bottom, the
    // (left, right) pairs, the count again.
    Region region;
    const qint64 scans = p.u16(5);
    qint64 word = 11;
    for (qint64 i = 0; i < scans; ++i) {
      const qint64 values = p.u16(word);
      const int top = p[word + 1], bottom = p[word + 2];
      if (values % 2 || p.u16(word + 3 + values) != values)
        damaged(QStringLiteral("a region's scan %1 does not close with its count").arg(i));
      for (qint64 v = 0; v < values; v += 2) {
        const int left = p[word + 3 + v], right = p[word + 4 + v];
        if (right > left && bottom > top)
          region.rects.emplace_back(QPoint(left, top), QPoint(right - 1, bottom - 1));
      }
      word += 4 + values;
    }
    return region;
  }

  // Selecting a region makes its copy the clipping; anything else there
  // (GDI's null region) clears it.
  void selectClipRegion(std::size_t index) {
    const Region *region = nullptr;
    if (index < objects_.size() && objects_[index])
      region = std::get_if<Region>(&*objects_[index]);
    if (!region) {
      s_.clip.reset();
    } else {
      QRegion clip;
      for (const QRect &r : region->rects)
        clip += deviceRect(r.left(), r.top(), r.right() + 1, r.bottom() + 1);
      s_.clip = clip;
    }
    applyClip();
  }

  Font readFont(const Params &p) const {
    // LOGFONT16: height, width, escapement, orientation, weight, then bytes:
    // italic, underline, strike-out, charset, four more, the face name.
    Font font;
    p.need(0, 18);
    font.height = p[0];
    font.escapement = p[2];
    font.weight = p[4];
    const Bytes flags = p.bytes(10, 8);
    font.italic = flags.u8(0);
    font.underline = flags.u8(1);
    font.strikeOut = flags.u8(2);
    font.charset = flags.u8(3);
    const Bytes face = p.from(18);
    qsizetype length = 0;
    while (length < std::min<qsizetype>(face.size(), 32) && face.data()[length])
      ++length;
    font.face = decodeText(decoders_, face.mid(0, length, "a face name"), font.charset).trimmed();
    return font;
  }

  // ---------------------------------------------------------- drawing

  QPen qpen() const {
    const Pen &p = s_.pen;
    const int style = p.style & 0x0F;
    if (style == kPsNull)
      return Qt::NoPen;
    QPen pen(p.colour);
    const double width = std::min(std::abs(p.width * sx_), kMaxPenWidth);
    if (width < 1.5) {
      pen.setWidth(0); // one pixel, without the end point, as GDI draws it
      pen.setCapStyle(Qt::FlatCap);
    } else {
      pen.setWidthF(width);
      const int cap = p.style & 0x0F00, join = p.style & 0xF000;
      pen.setCapStyle(cap == 0x0100 ? Qt::SquareCap : cap == 0x0200 ? Qt::FlatCap : Qt::RoundCap);
      pen.setJoinStyle(join == 0x1000   ? Qt::BevelJoin
                       : join == 0x2000 ? Qt::MiterJoin
                                        : Qt::RoundJoin);
    }
    switch (style) {
    case kPsDash:
      pen.setStyle(Qt::DashLine);
      break;
    case kPsDot:
    case 8: // alternate pixels
      pen.setStyle(Qt::DotLine);
      break;
    case kPsDashDot:
      pen.setStyle(Qt::DashDotLine);
      break;
    case kPsDashDotDot:
      pen.setStyle(Qt::DashDotDotLine);
      break;
    default:
      break;
    }
    return pen;
  }

  QBrush qbrush() const {
    const Brush &b = s_.brush;
    switch (b.style) {
    case kBsNull:
      return Qt::NoBrush;
    case kBsHatched: {
      static constexpr Qt::BrushStyle kHatches[] = {Qt::HorPattern,   Qt::VerPattern,
                                                    Qt::FDiagPattern, Qt::BDiagPattern,
                                                    Qt::CrossPattern, Qt::DiagCrossPattern};
      return QBrush(b.colour, b.hatch < 6 ? kHatches[b.hatch] : Qt::SolidPattern);
    }
    default:
      if (b.style != kBsSolid && !b.pattern.isNull())
        return QBrush(b.pattern);
      return QBrush(b.colour);
    }
  }

  // Draws a figure with the pen and, when `filled`, the brush; a hatched
  // brush in opaque mode fills the gaps with the background colour first.
  void shape(const std::function<void()> &draw, bool filled = true) {
    if (filled && s_.brush.style == kBsHatched && s_.bkMode == kOpaque) {
      painter_.setPen(Qt::NoPen);
      painter_.setBrush(s_.bkColour);
      draw();
    }
    painter_.setPen(qpen());
    painter_.setBrush(filled ? qbrush() : QBrush());
    draw();
  }

  QPolygonF points(const Params &p, qint64 firstWord, qint64 count) const {
    p.need(2 * firstWord, 4 * count);
    QPolygonF polygon;
    polygon.reserve(count);
    for (qint64 i = 0; i < count; ++i)
      polygon << toDevice(QPointF(p[firstWord + 2 * i], p[firstWord + 2 * i + 1]));
    return polygon;
  }

  void polyPolygon(const Params &p) {
    const qint64 polygons = p.u16(0);
    p.need(2, 2 * polygons);
    QPainterPath path;
    path.setFillRule(s_.fillRule);
    qint64 next = 1 + polygons;
    for (qint64 i = 0; i < polygons; ++i) {
      const qint64 count = p.u16(1 + i);
      path.addPolygon(points(p, next, count));
      path.closeSubpath();
      next += 2 * count;
    }
    shape([&] { painter_.drawPath(path); });
  }

  void arc(std::uint16_t function, const Params &p) {
    // yEnd, xEnd, yStart, xStart, bottom, right, top, left
    const auto box = figureRect(p[7], p[6], p[5], p[4]);
    if (!box)
      return;
    const QRectF r(*box);
    const QPointF centre = r.center();
    const double a = r.width() / 2, b = r.height() / 2;
    // QPainter's angles run around the ellipse as if it were a circle.
    auto angle = [&](QPointF q) {
      return std::atan2(-(q.y() - centre.y()) / b, (q.x() - centre.x()) / a) * 180 /
             std::numbers::pi;
    };
    const double from = angle(toDevice(QPointF(p[3], p[2])));
    double span = angle(toDevice(QPointF(p[1], p[0]))) - from;
    // Counter-clockwise in logical space, which a flipped axis mirrors.
    if (sx_ * sy_ > 0) {
      if (span <= 0)
        span += 360;
    } else if (span >= 0) {
      span -= 360;
    }
    const int start16 = int(std::lround(from * 16)), span16 = int(std::lround(span * 16));
    if (function == kArc)
      shape([&] { painter_.drawArc(r, start16, span16); }, false);
    else if (function == kPie)
      shape([&] { painter_.drawPie(r, start16, span16); });
    else
      shape([&] { painter_.drawChord(r, start16, span16); });
  }

  // ---------------------------------------------------------- text

  QFont qfont() const {
    const Font &f = s_.font;
    QFont font;
    if (!f.face.isEmpty())
      font.setFamily(f.face);
    const double pixels = std::clamp(f.height == 0 ? kDefaultFontPixels : std::abs(f.height * sy_),
                                     1.0, kMaxFontPixels);
    font.setPixelSize(int(std::lround(pixels)));
    if (f.height > 0) {
      // A cell height includes the internal leading; the em is smaller.
      const double cell = QFontMetricsF(font).height();
      if (cell > 0)
        font.setPixelSize(std::max(1, int(std::lround(pixels * pixels / cell))));
    }
    font.setWeight(QFont::Weight(f.weight <= 0 ? 400 : std::min(f.weight, 1000)));
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setStrikeOut(f.strikeOut);
    return font;
  }

  void extTextOut(const Params &p) {
    // y, x, length, options, [rectangle], string, [character advances]
    const QPointF at(p[1], p[0]);
    const int length = p.u16(2);
    const int options = p.u16(3);
    qint64 word = 4;
    std::optional<QRect> rect;
    if (options & (kEtoOpaque | kEtoClipped)) {
      rect = deviceRect(p[4], p[5], p[6], p[7]);
      word = 8;
    }
    const Bytes text = p.bytes(2 * word, length);
    word += (length + 1) / 2;
    std::vector<double> advances;
    if (p.words() >= word + length)
      for (int i = 0; i < length; ++i)
        advances.push_back(clampCoordinate(p[word + i] * sx_));
    drawText(at, text, options, rect, advances);
  }

  void drawText(QPointF at, const Bytes &bytes, int options, std::optional<QRect> rect,
                const std::vector<double> &advances) {
    if (rect && (options & kEtoOpaque))
      painter_.fillRect(*rect, s_.bkColour);
    if (!fonts_ || bytes.size() == 0)
      return; // without an application object Qt has no fonts
    const bool updateCp = s_.textAlign & kTaUpdateCp;
    const QPointF anchor = toDevice(updateCp ? s_.position : at);
    const QString text = decodeText(decoders_, bytes, s_.font.charset);
    const QFont font = qfont();
    const QFontMetricsF metrics(font);
    const bool perCharacter = !advances.empty() && advances.size() == std::size_t(text.size());
    double width = 0;
    if (perCharacter)
      for (const double advance : advances)
        width += advance;
    else
      width = metrics.horizontalAdvance(text);

    double x = 0;
    if ((s_.textAlign & kTaCenter) == kTaCenter)
      x = -width / 2;
    else if (s_.textAlign & kTaRight)
      x = -width;
    double baseline = metrics.ascent(); // top alignment
    if ((s_.textAlign & kTaBaseline) == kTaBaseline)
      baseline = 0;
    else if (s_.textAlign & kTaBottom)
      baseline = -metrics.descent();

    painter_.save();
    if (rect && (options & kEtoClipped))
      painter_.setClipRect(*rect, Qt::IntersectClip);
    painter_.translate(anchor);
    painter_.rotate(-s_.font.escapement / 10.0);
    painter_.setFont(font);
    if (s_.bkMode == kOpaque)
      painter_.fillRect(QRectF(std::min(x, x + width), baseline - metrics.ascent(), std::abs(width),
                               metrics.height()),
                        s_.bkColour);
    painter_.setPen(s_.textColour);
    if (perCharacter) {
      double offset = x;
      for (qsizetype i = 0; i < text.size() && std::abs(offset) < kCoordinateLimit; ++i) {
        painter_.drawText(QPointF(offset, baseline), QString(text[i]));
        offset += advances[std::size_t(i)];
      }
    } else {
      painter_.drawText(QPointF(x, baseline), text);
    }
    painter_.restore();
    if (updateCp && sx_ != 0)
      s_.position.rx() += (s_.textAlign & kTaRight ? -width : width) / sx_;
  }

  // ---------------------------------------------------------- bitmaps

  // A device-dependent bitmap of one plane: monochrome in the text and
  // background colours, or 24 or 32 bits. Others are not drawn (null).
  QImage bitmap16(const Bytes &header, const Bytes &bits) const {
    const qint64 width = header.i16(2), height = header.i16(4), rowBytes = header.i16(6);
    const int planes = header.u8(8), bitsPixel = header.u8(9);
    if (width <= 0 || height <= 0 || width * height > detail::kMaxPixels)
      damaged(QStringLiteral("a metafile bitmap is %1 by %2 pixels").arg(width).arg(height));
    if (planes != 1 || (bitsPixel != 1 && bitsPixel != 24 && bitsPixel != 32))
      return QImage();
    if (rowBytes < (width * bitsPixel + 15) / 16 * 2)
      damaged(QStringLiteral("a metafile bitmap's rows are too short"));
    bits.need(0, rowBytes * height, "a metafile bitmap");
    QImage image(int(width), int(height), QImage::Format_RGB32);
    if (image.isNull())
      throw std::bad_alloc();
    const QRgb fore = s_.textColour.rgb(), back = s_.bkColour.rgb();
    for (int y = 0; y < int(height); ++y) {
      const unsigned char *in = bits.data() + y * rowBytes;
      auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
      for (int x = 0; x < int(width); ++x) {
        if (bitsPixel == 1)
          line[x] = (in[x / 8] >> (7 - x % 8)) & 1 ? back : fore;
        else
          line[x] =
              qRgb(in[bitsPixel / 8 * x + 2], in[bitsPixel / 8 * x + 1], in[bitsPixel / 8 * x]);
      }
    }
    return image;
  }

  static QPainter::CompositionMode compositionFor(std::uint32_t rop) {
    switch (rop >> 16 & 0xFF) { // the ternary operation's index
    case 0xEE:
      return QPainter::RasterOp_SourceOrDestination; // SRCPAINT
    case 0x88:
      return QPainter::RasterOp_SourceAndDestination; // SRCAND
    case 0x66:
      return QPainter::RasterOp_SourceXorDestination; // SRCINVERT
    case 0x33:
      return QPainter::RasterOp_NotSource; // NOTSRCCOPY
    default:
      return QPainter::CompositionMode_SourceOver; // SRCCOPY and the rest
    }
  }

  // A DIB's source rectangle counts rows from the bottom unless the bitmap
  // is stored top row first.
  void dibBlit(const Bytes &dib, QRect source, int x, int y, int width, int height,
               std::uint32_t rop) {
    detail::DibHeader header;
    const QImage image = detail::decodePackedDib(dib, &header);
    if (!header.topDown)
      source.moveTop(image.height() - source.y() - source.height());
    blit(image, source, x, y, width, height, rop);
  }

  void blit(const QImage &image, QRect source, int x, int y, int width, int height,
            std::uint32_t rop) {
    if (image.isNull())
      return;
    const bool mirrorSource = source.width() < 0 || source.height() < 0;
    source = source.normalized() & image.rect();
    const QPointF a = toDevice(QPointF(x, y)), b = toDevice(QPointF(x + width, y + height));
    const QRect target = deviceRect(x, y, x + width, y + height);
    if (source.isEmpty() || target.isEmpty())
      return;
    const bool mirrorX = (b.x() < a.x()) != (mirrorSource && source.width() < 0);
    const bool mirrorY = b.y() < a.y();
    QImage part = image.copy(source);
    if (mirrorX || mirrorY)
      part = part.mirrored(mirrorX, mirrorY);
    painter_.setCompositionMode(compositionFor(rop));
    painter_.drawImage(QRectF(target), part);
    painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
  }

  void patBlt(const QRect &target, std::uint32_t rop) {
    if (target.isEmpty())
      return;
    switch (rop >> 16 & 0xFF) {
    case 0x00: // BLACKNESS
      painter_.fillRect(target, Qt::black);
      break;
    case 0xFF: // WHITENESS
      painter_.fillRect(target, Qt::white);
      break;
    case 0xAA: // the destination as it is
      break;
    case 0x55: // DSTINVERT
      painter_.setCompositionMode(QPainter::RasterOp_NotDestination);
      painter_.fillRect(target, Qt::black);
      painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
      break;
    default: // PATCOPY and the rest: the brush
      if (s_.brush.style == kBsNull)
        break;
      if (s_.brush.style == kBsHatched && s_.bkMode == kOpaque)
        painter_.fillRect(target, s_.bkColour);
      if ((rop >> 16 & 0xFF) == 0x5A) // PATINVERT
        painter_.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
      painter_.fillRect(target, qbrush());
      painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
      break;
    }
  }

  // ---------------------------------------------------------- states

  void restoreDC(int which) {
    // Negative: relative to the last save; positive: the n-th save.
    const qint64 depth = qint64(saved_.size());
    const qint64 index = which < 0 ? depth + which : qint64(which) - 1;
    if (which == 0 || index < 0 || index >= depth)
      return; // GDI refuses
    s_ = saved_[std::size_t(index)];
    saved_.resize(std::size_t(index));
    updateScale();
    applyClip();
  }

  // The header's box bounds every clipping, so that a played picture
  // never draws beyond it whatever its player's own clipping.
  void applyClip() { painter_.setClipRegion(s_.clip ? s_.clip->intersected(box_) : QRegion(box_)); }

  QPainter &painter_;
  Bytes records_;
  qint64 recordsOffset_;
  QRect box_;
  const std::atomic<bool> *abandoned_;
  bool fonts_;
  State s_;
  double sx_ = 1, sy_ = 1;
  std::vector<State> saved_;
  std::vector<std::optional<Object>> objects_;
  std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> freeSlots_;
  // Fonts are read in const code; decoding keeps no state of the picture's.
  mutable CodePageDecoders decoders_;
};

} // namespace

WmfRendering renderWmf(const QByteArray &value, const std::atomic<bool> *abandoned) {
  WmfRendering result;
  try {
    const Bytes bytes(value);
    const Header header = readHeader(bytes);
    QPicture picture;
    {
      QPainter painter(&picture);
      Player(painter, header, bytes.from(header.recordsOffset, "the records"), abandoned).play();
    }
    picture.setBoundingRect(QRect(QPoint(0, 0), header.size));
    result.picture = picture;
    result.size = header.size;
  } catch (const Damaged &e) {
    result.error = e.reason;
  } catch (const std::bad_alloc &) {
    result.error = QStringLiteral("not enough memory");
  }
  if (result.error.isEmpty())
    return result;
  result.picture = QPicture();
  result.size = QSize();
  return result;
}

} // namespace quillon::viewer
