#pragma once

#include <QByteArray>
#include <QString>

namespace quillon::bench {

// Writes `size` pseudo-random bytes (incompressible, like the pictures and
// archives users store); the same seed gives the same bytes.
void writeRandomFile(const QString &path, qint64 size, quint64 seed);

// Copies `value` into the one-row, one-column form of PostgreSQL's binary
// COPY, which psql's \copy reads and writes; the value starts at
// kCopyValueOffset.
void writeCopyFile(const QString &valuePath, const QString &copyPath);
constexpr qint64 kCopyValueOffset = 25;
constexpr qint64 kCopyFraming = 27;

// Whether two files hold the same bytes; `offset` skips the first bytes of
// `b` and `length` (when >= 0) limits the comparison.
bool sameBytes(const QString &a, const QString &b, qint64 offset = 0, qint64 length = -1);

// A photograph-like picture (smooth shapes with sensor noise) as a
// baseline JPEG of quality 90.
QByteArray makeJpeg(int width, int height);
// A JPEG padded with comment segments to exactly `size` bytes.
QByteArray makeJpegOfSize(qint64 size);
// An 8-bit GIF with 256 colours.
QByteArray makeGif(int width, int height);
// A 24-bit BMP file.
QByteArray makeBmp(int width, int height);
// A placeable metafile of `shapes` filled shapes with their own pens and
// brushes, `width` by `height` pixels on screen.
QByteArray makeWmf(int width, int height, int shapes);

void writeFile(const QString &path, const QByteArray &bytes);

} // namespace quillon::bench
