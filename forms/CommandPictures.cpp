// Pictures are laid out on a 16 × 16 grid and drawn again at every size
// instead of being scaled, so outlines land on whole device pixels.
#include "forms/CommandPictures.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPixmap>
#include <QRadialGradient>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace quillon::forms {

namespace {

using Draw = void (*)(QPainter &p, int size);

constexpr qreal kGrid = 16;

// Outline width in grid units. Whole device pixels keep edges sharp; above
// 32 px it grows slower than the grid so large pictures don't look heavy.
qreal outline(int size) {
  const qreal px = size <= 32 ? std::round(size / kGrid) : std::round(size / 24.0);
  return std::max<qreal>(px, 1) * kGrid / size;
}

QPen linePen(const QColor &color, qreal width, Qt::PenJoinStyle join = Qt::MiterJoin) {
  QPen pen(color, width);
  pen.setJoinStyle(join);
  pen.setCapStyle(join == Qt::RoundJoin ? Qt::RoundCap : Qt::SquareCap);
  return pen;
}

QLinearGradient vertical(qreal top, qreal bottom, const QColor &from, const QColor &to) {
  QLinearGradient g(0, top, 0, bottom);
  g.setColorAt(0, from);
  g.setColorAt(1, to);
  return g;
}

QLinearGradient horizontal(qreal left, qreal right, const QColor &from, const QColor &to) {
  QLinearGradient g(left, 0, right, 0);
  g.setColorAt(0, from);
  g.setColorAt(1, to);
  return g;
}

// Fills the given grid cells and draws the outline inside them, so the
// outline covers exactly the border cells' pixels.
void box(QPainter &p, int size, const QRectF &cells, const QBrush &fill, const QColor &line) {
  const qreal w = outline(size);
  p.setPen(linePen(line, w));
  p.setBrush(fill);
  p.drawRect(cells.adjusted(w / 2, w / 2, -w / 2, -w / 2));
}

// A line as thick as an outline along a row of cells: filled, not stroked,
// so it never straddles two pixels.
void hbar(QPainter &p, int size, qreal x1, qreal x2, qreal row, const QColor &color) {
  p.fillRect(QRectF(x1, row, x2 - x1, outline(size)), color);
}

void vbar(QPainter &p, int size, qreal col, qreal y1, qreal y2, const QColor &color) {
  p.fillRect(QRectF(col, y1, outline(size), y2 - y1), color);
}

// Palette: a mid tone, a light tone and a dark outline per material.
const QColor kInk(0x33, 0x3a, 0x44);
const QColor kMetalLight(0xf0, 0xf3, 0xf6);
const QColor kMetal(0xa9, 0xb2, 0xbc);
const QColor kMetalLine(0x3c, 0x43, 0x4b);
const QColor kWoodLight(0xe2, 0xa8, 0x66);
const QColor kWood(0xb0, 0x70, 0x34);
const QColor kWoodLine(0x5a, 0x32, 0x10);
const QColor kBlueLight(0x6f, 0xa4, 0xe8);
const QColor kBlue(0x2d, 0x5f, 0xb5);
const QColor kBlueLine(0x17, 0x33, 0x66);
const QColor kPaper(0xff, 0xff, 0xff);
const QColor kPaperShade(0xe4, 0xe8, 0xee);
const QColor kPaperLine(0x5d, 0x66, 0x72);
const QColor kText(0x9a, 0xa4, 0xb0);
const QColor kYellowLight(0xff, 0xf2, 0x8a);
const QColor kYellow(0xff, 0xc4, 0x00);
const QColor kYellowLine(0x8c, 0x5a, 0x00);
const QColor kGreenLight(0x7c, 0xd3, 0x6b);
const QColor kGreen(0x2f, 0x9a, 0x3a);
const QColor kGreenLine(0x1a, 0x5c, 0x22);

// Draws at the given size with the painter scaled so the picture's grid
// fills the image.
QPixmap render(Draw draw, int size, qreal grid) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / grid, size / grid);
  draw(p, size);
  p.end();
  return QPixmap::fromImage(image);
}

QIcon iconOf(Draw draw, std::initializer_list<int> sizes, qreal grid) {
  QIcon icon;
  for (const int size : sizes)
    icon.addPixmap(render(draw, size, grid));
  return icon;
}

// ---- the commands' pictures

void drawHammer(QPainter &p, int size) {
  const qreal w = outline(size);
  p.translate(7.2, 8.6);
  p.rotate(45);

  QLinearGradient wood = horizontal(-1.2, 1.2, kWoodLight, kWood);
  p.setPen(linePen(kWoodLine, w, Qt::RoundJoin));
  p.setBrush(wood);
  p.drawRoundedRect(QRectF(-1.2, -2.5, 2.4, 10.2), 1, 1);

  // Claw on the left curving down, striking face on the right.
  QPainterPath head;
  head.moveTo(4.8, -6.4);
  head.lineTo(4.8, -2.2);
  head.lineTo(-2.6, -2.2);
  head.quadTo(-4.6, -2.4, -6.6, -0.8);
  head.quadTo(-5.6, -5.2, -2.6, -6.4);
  head.closeSubpath();
  p.setPen(linePen(kMetalLine, w, Qt::RoundJoin));
  p.setBrush(vertical(-6.4, -2.2, kMetalLight, kMetal));
  p.drawPath(head);
  p.setPen(linePen(kMetalLine, w * 0.8, Qt::RoundJoin));
  p.drawLine(QPointF(3.2, -6.2), QPointF(3.2, -2.4));
}

void drawDoor(QPainter &p, int size) {
  const qreal w = outline(size);
  const qreal h = w / 2;
  // Frame and the dark room seen through the opening.
  box(p, size, QRectF(6, 1, 9, 15), vertical(1, 16, QColor(0x9c, 0x6b, 0x3c), kWood), kWoodLine);
  box(p, size, QRectF(8, 3, 5, 13),
      vertical(3, 16, QColor(0x22, 0x1a, 0x14), QColor(0x4a, 0x3a, 0x2c)), kWoodLine);

  // The leaf swung towards the viewer, hinged on the opening's left side.
  QPainterPath leaf;
  leaf.moveTo(8 + h, 3 + h);
  leaf.lineTo(2 + h, 1 + h);
  leaf.lineTo(2 + h, 16 - h);
  leaf.lineTo(8 + h, 16 - h);
  leaf.closeSubpath();
  p.setPen(linePen(kWoodLine, w));
  p.setBrush(horizontal(2, 9, kWoodLight, QColor(0xa8, 0x62, 0x28)));
  p.drawPath(leaf);

  if (size >= 32) {
    QPainterPath panel;
    panel.moveTo(6.8, 4.6);
    panel.lineTo(3.6, 3.6);
    panel.lineTo(3.6, 8);
    panel.lineTo(6.8, 8.2);
    panel.closeSubpath();
    panel.moveTo(6.8, 10);
    panel.lineTo(3.6, 10);
    panel.lineTo(3.6, 14.4);
    panel.lineTo(6.8, 14.4);
    panel.closeSubpath();
    p.setPen(linePen(QColor(0x8a, 0x4e, 0x1c), w * 0.75));
    p.setBrush(Qt::NoBrush);
    p.drawPath(panel);
  }
  p.setPen(linePen(kYellowLine, w * 0.6, Qt::RoundJoin));
  p.setBrush(kYellow);
  p.drawEllipse(QPointF(3.9, 9.2), 0.9, 0.9);
}

void drawComputer(QPainter &p, int size) {
  const qreal w = outline(size);
  box(p, size, QRectF(1, 1, 14, 11), vertical(1, 12, kMetalLight, QColor(0xc4, 0xcb, 0xd3)),
      kMetalLine);
  QLinearGradient screen(3, 3, 11, 10);
  screen.setColorAt(0, QColor(0x7f, 0xc1, 0xff));
  screen.setColorAt(1, QColor(0x1d, 0x4f, 0xa8));
  box(p, size, QRectF(2 + w, 2 + w, 12 - 2 * w, 9 - 2 * w), screen, QColor(0x1b, 0x2f, 0x55));
  // A glint on the glass.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 90));
  QPainterPath glint;
  glint.moveTo(2 + 2 * w, 2 + 2 * w);
  glint.lineTo(8, 2 + 2 * w);
  glint.lineTo(4, 11 - 2 * w);
  glint.lineTo(2 + 2 * w, 11 - 2 * w);
  glint.closeSubpath();
  p.drawPath(glint);

  p.fillRect(QRectF(7, 12, 2, 1), QColor(0x6b, 0x73, 0x7c));
  box(p, size, QRectF(4, 13, 8, 3), vertical(13, 16, kMetalLight, kMetal), kMetalLine);
}

void drawOpenFolder(QPainter &p, int size) {
  const qreal w = outline(size);
  const qreal h = w / 2;
  const QColor line = kYellowLine;

  QPainterPath back;
  back.moveTo(1 + h, 3 + h);
  back.lineTo(6 - h, 3 + h);
  back.lineTo(7.5 - h, 4.5 + h);
  back.lineTo(14 - h, 4.5 + h);
  back.lineTo(14 - h, 14 - h);
  back.lineTo(1 + h, 14 - h);
  back.closeSubpath();
  p.setPen(linePen(line, w));
  p.setBrush(vertical(3, 14, QColor(0xf0, 0xb8, 0x40), QColor(0xcf, 0x8e, 0x1e)));
  p.drawPath(back);

  box(p, size, QRectF(3, 6, 9, 5), kPaper, kPaperLine);

  QPainterPath front;
  front.moveTo(4 + h, 8 + h);
  front.lineTo(16 - h, 8 + h);
  front.lineTo(13.5 - h, 14 - h);
  front.lineTo(1 + h, 14 - h);
  front.closeSubpath();
  p.setPen(linePen(line, w));
  p.setBrush(vertical(8, 14, kYellowLight, QColor(0xf7, 0xc3, 0x2e)));
  p.drawPath(front);
}

void drawDiskette(QPainter &p, int size) {
  const qreal w = outline(size);
  const qreal h = w / 2;
  QPainterPath body;
  body.moveTo(1 + h, 1 + h);
  body.lineTo(13 - h, 1 + h);
  body.lineTo(15 - h, 3 + h);
  body.lineTo(15 - h, 15 - h);
  body.lineTo(1 + h, 15 - h);
  body.closeSubpath();
  p.setPen(linePen(kBlueLine, w));
  p.setBrush(vertical(1, 15, kBlueLight, kBlue));
  p.drawPath(body);

  box(p, size, QRectF(4, 1, 8, 5), vertical(1, 6, kMetalLight, kMetal), kMetalLine);
  p.fillRect(QRectF(9, 2, 2, 3), kMetalLine);
  box(p, size, QRectF(3, 8, 10, 8), vertical(8, 16, kPaper, kPaperShade), kBlueLine);
  hbar(p, size, 5, 11, 10, kText);
  hbar(p, size, 5, 11, 12, kText);
}

// One arrow of the refresh picture: an arc running clockwise from `from` to
// `to` (degrees, counter-clockwise from three o'clock) with its head at `to`.
QPainterPath circlingArrow(QPointF centre, qreal radius, qreal from, qreal to) {
  const QRectF ring(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  QPainterPath arc;
  arc.arcMoveTo(ring, from);
  arc.arcTo(ring, from, to - from);
  QPainterPathStroker stroker;
  stroker.setWidth(2.2);
  stroker.setCapStyle(Qt::FlatCap);
  QPainterPath shape = stroker.createStroke(arc);

  const qreal a = to * std::numbers::pi / 180;
  const QPointF end = arc.currentPosition();
  const QPointF along(std::sin(a), std::cos(a));
  const QPointF out(std::cos(a), -std::sin(a));
  QPainterPath head;
  head.moveTo(end + out * 2.5 - along * 0.2);
  head.lineTo(end + along * 2.8);
  head.lineTo(end - out * 2.5 - along * 0.2);
  head.closeSubpath();
  return shape.united(head).simplified();
}

void drawRefresh(QPainter &p, int size) {
  const QPointF centre(8, 8);
  QRadialGradient shade(QPointF(6, 5), 10);
  shade.setColorAt(0, kGreenLight);
  shade.setColorAt(1, kGreen);
  p.setPen(linePen(kGreenLine, outline(size) * 0.8, Qt::RoundJoin));
  p.setBrush(shade);
  p.drawPath(circlingArrow(centre, 5, 165, 35));
  p.drawPath(circlingArrow(centre, 5, 345, 215));
}

// A funnel whose grid is shrunk by `k` and moved to (x0, y0), so the same
// shape serves the plain picture and the smaller one beside a lightning.
void funnel(QPainter &p, int size, qreal x0, qreal y0, qreal k) {
  const auto at = [&](qreal x, qreal y) { return QPointF(x0 + k * x, y0 + k * y); };
  const qreal w = outline(size);
  const QColor line(0x1f, 0x3d, 0x68);

  QPainterPath body;
  body.moveTo(at(1.5, 3.5));
  body.lineTo(at(6.6, 9.6));
  body.lineTo(at(6.6, 14.5));
  body.lineTo(at(9.4, 14.5));
  body.lineTo(at(9.4, 9.6));
  body.lineTo(at(14.5, 3.5));
  body.closeSubpath();
  QLinearGradient metal(at(1.5, 0), at(14.5, 0));
  metal.setColorAt(0, QColor(0x5a, 0x8a, 0xc8));
  metal.setColorAt(0.35, QColor(0xc8, 0xdc, 0xf5));
  metal.setColorAt(1, QColor(0x3d, 0x6c, 0xb0));
  p.setPen(linePen(line, w, Qt::RoundJoin));
  p.setBrush(metal);
  p.drawPath(body);

  QLinearGradient inside(at(0, 1.5), at(0, 5.5));
  inside.setColorAt(0, QColor(0x1e, 0x3a, 0x66));
  inside.setColorAt(1, QColor(0x58, 0x86, 0xc4));
  p.setBrush(inside);
  p.drawEllipse(QRectF(at(1.5, 1.5), at(14.5, 5.5)));
}

void drawFunnel(QPainter &p, int size) {
  funnel(p, size, 0, 0, 1);
}

// A lightning bolt on the same terms as funnel().
void bolt(QPainter &p, int size, qreal x0, qreal y0, qreal k) {
  const auto at = [&](qreal x, qreal y) { return QPointF(x0 + k * x, y0 + k * y); };
  QPainterPath path;
  path.moveTo(at(7.6, 0.7));
  path.lineTo(at(12.6, 0.7));
  path.lineTo(at(9.6, 6));
  path.lineTo(at(13.2, 6));
  path.lineTo(at(4.6, 15.6));
  path.lineTo(at(7.2, 8.8));
  path.lineTo(at(3.6, 8.8));
  path.closeSubpath();
  p.setPen(linePen(kYellowLine, outline(size), Qt::RoundJoin));
  p.setBrush(vertical(at(0, 0.7).y(), at(0, 15.6).y(), kYellowLight, kYellow));
  p.drawPath(path);
}

void drawFilterBolt(QPainter &p, int size) {
  funnel(p, size, -0.5, -0.3, 0.8);
  bolt(p, size, 7.6, 6.2, 0.62);
}

void drawTable(QPainter &p, int size) {
  const qreal w = outline(size);
  const QColor line(0x2c, 0x3f, 0x5c);
  const QColor grid(0xa9, 0xb5, 0xc6);
  box(p, size, QRectF(0, 1, 16, 14), kPaper, line);
  p.fillRect(QRectF(w, 1 + w, 16 - 2 * w, 4 - w), vertical(2, 5, kBlueLight, kBlue));
  hbar(p, size, 0, 16, 5, line);
  for (const qreal col : {5.0, 10.0}) {
    vbar(p, size, col, 2, 5, QColor(0xb8, 0xd2, 0xf5));
    vbar(p, size, col, 6, 14, grid);
  }
  for (const qreal row : {8.0, 11.0})
    hbar(p, size, w, 16 - w, row, grid);
}

// A column of two check boxes with a caption line beside each.
void checkBoxes(QPainter &p, int size, bool ticked) {
  for (const qreal top : {1.0, 9.0}) {
    box(p, size, QRectF(1, top, 7, 7), vertical(top, top + 7, QColor(0xe3, 0xe8, 0xef), kPaper),
        QColor(0x4a, 0x59, 0x6b));
    hbar(p, size, 10, 16, top + 3, QColor(0x6e, 0x79, 0x87));
    if (!ticked)
      continue;
    QPainterPath tick;
    tick.moveTo(2.7, top + 3.4);
    tick.lineTo(4.3, top + 5.1);
    tick.lineTo(7.6, top + 0.6);
    p.setPen(linePen(QColor(0x16, 0x7a, 0x28), 1.6, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
  }
}

void drawEmptyChecks(QPainter &p, int size) {
  checkBoxes(p, size, false);
}
void drawTickedChecks(QPainter &p, int size) {
  checkBoxes(p, size, true);
}

// A sheet of paper with a turned-down corner and lines of text.
void sheet(QPainter &p, int size, const QRectF &cells) {
  const qreal w = outline(size);
  const qreal h = w / 2;
  const QRectF r = cells.adjusted(h, h, -h, -h);
  const qreal fold = 3;
  QPainterPath page;
  page.moveTo(r.topLeft());
  page.lineTo(r.right() - fold, r.top());
  page.lineTo(r.right(), r.top() + fold);
  page.lineTo(r.bottomRight());
  page.lineTo(r.bottomLeft());
  page.closeSubpath();
  p.setPen(linePen(kPaperLine, w));
  p.setBrush(vertical(r.top(), r.bottom(), kPaper, QColor(0xf0, 0xf3, 0xf7)));
  p.drawPath(page);

  QPainterPath ear;
  ear.moveTo(r.right() - fold, r.top());
  ear.lineTo(r.right() - fold, r.top() + fold);
  ear.lineTo(r.right(), r.top() + fold);
  p.setBrush(kPaperShade);
  p.drawPath(ear);

  for (qreal row = cells.top() + 5; row < cells.bottom() - 1.5; row += 2)
    hbar(p, size, cells.left() + 2, cells.right() - 2, row, kText);
  hbar(p, size, cells.left() + 2, cells.right() - 4, cells.top() + 3, kText);
}

void drawCopy(QPainter &p, int size) {
  sheet(p, size, QRectF(1, 0, 9, 12));
  sheet(p, size, QRectF(6, 4, 9, 12));
}

void drawClipboard(QPainter &p, int size) {
  const qreal w = outline(size);
  const qreal h = w / 2;
  p.setPen(linePen(kWoodLine, w, Qt::RoundJoin));
  p.setBrush(vertical(2, 16, kWoodLight, kWood));
  p.drawRoundedRect(QRectF(2, 2, 12, 14).adjusted(h, h, -h, -h), 1.5, 1.5);
  box(p, size, QRectF(4, 4, 8, 10), kPaper, kPaperLine);
  for (const qreal row : {7.0, 9.0, 11.0})
    hbar(p, size, 6, row == 11 ? 9 : 10, row, kText);
  box(p, size, QRectF(5, 1, 6, 4), vertical(1, 5, kMetalLight, kMetal), kMetalLine);
  p.fillRect(QRectF(7, 2, 2, 1), kMetalLine);
}

void drawPictureWindow(QPainter &p, int size) {
  const qreal w = outline(size);
  const QColor line(0x2c, 0x3f, 0x5c);
  box(p, size, QRectF(0, 1, 16, 14), QColor(0xee, 0xf1, 0xf5), line);
  p.fillRect(QRectF(w, 1 + w, 16 - 2 * w, 4 - w), vertical(2, 5, kBlueLight, kBlue));
  hbar(p, size, 0, 16, 5, line);
  p.fillRect(QRectF(12, 2.5, 2, 1), kPaper);

  // The picture: sky, sun and green hills, framed.
  const QRectF frame(2, 6, 12, 8);
  const QRectF inner = frame.adjusted(w, w, -w, -w);
  p.fillRect(inner, vertical(inner.top(), inner.bottom(), QColor(0x5f, 0xa8, 0xf0),
                             QColor(0xc8, 0xe6, 0xff)));
  p.save();
  p.setClipRect(inner);
  p.setPen(Qt::NoPen);
  p.setBrush(kYellow);
  p.drawEllipse(QPointF(11, 8), 1.2, 1.2);
  QPainterPath far;
  far.moveTo(2, 14);
  far.lineTo(6, 9);
  far.lineTo(9.5, 12.2);
  far.lineTo(11, 11);
  far.lineTo(14, 14);
  far.closeSubpath();
  p.setBrush(QColor(0x2f, 0x86, 0x3a));
  p.drawPath(far);
  QPainterPath near;
  near.moveTo(2, 14);
  near.quadTo(8, 10.5, 14, 13);
  near.lineTo(14, 14);
  near.closeSubpath();
  p.setBrush(QColor(0x6c, 0xc2, 0x4a));
  p.drawPath(near);
  p.restore();
  box(p, size, frame, Qt::NoBrush, QColor(0x6d, 0x7a, 0x8c));
}

void drawLightning(QPainter &p, int size) {
  bolt(p, size, 0, 0, 1);
}

// ---- program icons

// The program icon is drawn on a 64 × 64 grid; its outline is about one
// device pixel per 32 px of icon, at least one pixel.
void drawProgram(QPainter &p, int size) {
  const qreal unit = 64.0 / size;
  const qreal w = std::max<qreal>(1, std::round(size / 32.0)) * unit;
  const QColor dbLine(0x17, 0x33, 0x66);

  // Database: a cylinder of stacked discs.
  const qreal left = 6, right = 44, top = 18, bottom = 56, ry = 6;
  const qreal rx = (right - left) / 2;
  QLinearGradient side(left, 0, right, 0);
  side.setColorAt(0, QColor(0x2e, 0x5c, 0xa8));
  side.setColorAt(0.3, QColor(0x8c, 0xb8, 0xf0));
  side.setColorAt(1, QColor(0x1f, 0x45, 0x8a));
  QPainterPath cylinder;
  cylinder.moveTo(left, top);
  cylinder.lineTo(left, bottom);
  cylinder.arcTo(QRectF(left, bottom - ry, 2 * rx, 2 * ry), 180, 180);
  cylinder.lineTo(right, top);
  cylinder.closeSubpath();
  p.setPen(linePen(dbLine, w, Qt::RoundJoin));
  p.setBrush(side);
  p.drawPath(cylinder);
  const int discs = size <= 16 ? 2 : 3;
  p.setBrush(Qt::NoBrush);
  for (int i = 1; i < discs; ++i) {
    const qreal y = top + (bottom - top) * i / discs;
    QPainterPath seam;
    seam.arcMoveTo(QRectF(left, y - ry, 2 * rx, 2 * ry), 180);
    seam.arcTo(QRectF(left, y - ry, 2 * rx, 2 * ry), 180, 180);
    p.drawPath(seam);
  }
  p.setBrush(vertical(top - ry, top + ry, QColor(0xd8, 0xe8, 0xfb), QColor(0x9c, 0xc2, 0xf0)));
  p.drawEllipse(QRectF(left, top - ry, 2 * rx, 2 * ry));

  // Quill: laid along the x axis from the nib (0) to the tip, then turned.
  p.save();
  p.translate(22, 58);
  p.rotate(-56);
  const qreal length = 66;
  QPainterPath vane;
  vane.moveTo(13, 0);
  vane.cubicTo(22, -10, 48, -13, length, 0);
  vane.cubicTo(46, 6.5, 24, 6, 13, 0);
  p.setPen(linePen(kInk, w, Qt::RoundJoin));
  QLinearGradient feather(0, -10, 0, 6);
  feather.setColorAt(0, QColor(0xff, 0xff, 0xff));
  feather.setColorAt(1, QColor(0xc9, 0xd0, 0xda));
  p.setBrush(feather);
  p.drawPath(vane);
  if (size >= 128) {
    // Barbs: only visible when there is room for hairlines.
    p.save();
    p.setClipPath(vane);
    p.setPen(linePen(QColor(0xc2, 0xca, 0xd5), 0.35, Qt::RoundJoin));
    for (qreal x = 15; x < length; x += 2.6) {
      p.drawLine(QPointF(x, 0), QPointF(x + 9, -13));
      p.drawLine(QPointF(x, 0), QPointF(x + 6, 8));
    }
    p.restore();
  }
  if (size >= 32) {
    // Splits in the vane, along the barbs, make it read as a feather.
    QPainterPath upper;
    upper.moveTo(13, 0);
    upper.cubicTo(22, -10, 48, -13, length, 0);
    QPainterPath lower;
    lower.moveTo(13, 0);
    lower.cubicTo(24, 6, 46, 6.5, length, 0);
    p.setPen(linePen(kInk, std::max(unit, w * 0.6), Qt::RoundJoin));
    for (const qreal at : {0.42, 0.68}) {
      const QPointF e = upper.pointAtPercent(at);
      p.drawLine(e, e + QPointF(-2.2, 3));
    }
    const QPointF e = lower.pointAtPercent(0.55);
    p.drawLine(e, e + QPointF(-2.2, -2.4));
  }
  QPainterPath nib;
  nib.moveTo(0, 0);
  nib.lineTo(13, -2.4);
  nib.lineTo(15, 0);
  nib.lineTo(13, 2.4);
  nib.closeSubpath();
  p.setPen(linePen(kInk, w, Qt::RoundJoin));
  // An inked tip on a horn-coloured hollow shaft.
  QLinearGradient horn(0, 0, 15, 0);
  horn.setColorAt(0, QColor(0x22, 0x26, 0x2e));
  horn.setColorAt(0.3, QColor(0x22, 0x26, 0x2e));
  horn.setColorAt(0.34, QColor(0xc9, 0xa8, 0x6a));
  horn.setColorAt(1, QColor(0xf0, 0xe0, 0xb8));
  p.setBrush(horn);
  p.drawPath(nib);
  p.restore();
}

// The look of an old 16-colour icon: only the standard colours, square
// edges, one-pixel lines. Laid out on a 32 grid; the 16 px one has its own
// layout in whole pixels rather than a blurred half-size copy.
void drawDefaultProgram(QPainter &p, int size) {
  p.setRenderHint(QPainter::Antialiasing, false);
  const QColor black(0, 0, 0), navy(0, 0, 0x80), grey(0x80, 0x80, 0x80), silver(0xc0, 0xc0, 0xc0),
      white(0xff, 0xff, 0xff), teal(0, 0x80, 0x80);
  const int k = size < 32 ? 2 : 1;
  const auto cells = [&](int x, int y, int w, int h, const QColor &c) {
    p.fillRect(QRect(x * k, y * k, w * k, h * k), c);
  };
  if (size < 32) {
    cells(2, 3, 14, 12, grey);  // shadow
    cells(0, 1, 14, 12, black); // outline
    cells(1, 2, 12, 3, navy);   // title bar
    cells(2, 3, 1, 1, silver);
    cells(10, 3, 2, 1, silver);
    cells(1, 5, 12, 7, white); // client area
    cells(2, 6, 5, 1, teal);
    cells(2, 8, 9, 1, silver);
    cells(2, 10, 7, 1, silver);
    return;
  }
  cells(4, 6, 27, 24, grey);   // shadow
  cells(1, 3, 28, 25, black);  // outline
  cells(2, 4, 26, 23, silver); // frame
  cells(3, 5, 24, 5, navy);    // title bar
  cells(4, 6, 3, 3, silver);   // system menu box
  cells(5, 7, 1, 1, black);
  cells(21, 6, 5, 3, silver); // sizing buttons
  cells(22, 7, 1, 1, black);
  cells(24, 7, 1, 1, black);
  cells(3, 10, 24, 16, black); // client area's edge
  cells(4, 11, 22, 14, white); // client area
  cells(5, 12, 9, 1, teal);    // a menu bar's worth of items
  cells(16, 12, 6, 1, teal);
  cells(5, 14, 20, 1, silver);
  cells(5, 16, 15, 1, silver);
  cells(5, 18, 18, 1, silver);
  cells(5, 20, 12, 1, silver);
  cells(5, 22, 16, 1, silver);
}

// By position in the commands' image list; null where it has no picture.
constexpr std::array<Draw, 20> kPictures = {
    nullptr,          nullptr,    nullptr,       drawHammer,        nullptr,
    nullptr,          drawDoor,   drawComputer,  drawOpenFolder,    drawDiskette,
    drawRefresh,      drawFunnel, drawTable,     drawFilterBolt,    drawEmptyChecks,
    drawTickedChecks, drawCopy,   drawClipboard, drawPictureWindow, drawLightning};

} // namespace

QIcon commandPicture(int index) {
  if (index < 0 || index >= int(kPictures.size()) || !kPictures[std::size_t(index)])
    return {};
  return iconOf(kPictures[std::size_t(index)], {16, 32, 48}, kGrid);
}

QIcon programIcon() {
  return iconOf(drawProgram, {16, 32, 48, 256}, 64);
}

QIcon defaultProgramIcon() {
  return iconOf(drawDefaultProgram, {16, 32, 64}, 32);
}

} // namespace quillon::forms
