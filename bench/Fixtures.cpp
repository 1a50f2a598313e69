#include "bench/Fixtures.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

namespace quillon::bench {

namespace {

[[noreturn]] void failed(const QString &message) {
  throw std::runtime_error(message.toStdString());
}

// xorshift64*: fast and good enough to defeat compression.
class Random {
public:
  explicit Random(quint64 seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  quint64 next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Dull;
  }

private:
  quint64 state_;
};

void appendWord(QByteArray &bytes, std::uint16_t word) {
  bytes.append(char(word & 0xFF));
  bytes.append(char(word >> 8));
}

void appendBigEndian(QByteArray &bytes, quint64 value, int count) {
  for (int i = count - 1; i >= 0; --i)
    bytes.append(char((value >> (8 * i)) & 0xFF));
}

int appendGifBytes(GifFileType *gif, const GifByteType *data, int length) {
  static_cast<QByteArray *>(gif->UserData)->append(reinterpret_cast<const char *>(data), length);
  return length;
}

} // namespace

void writeFile(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
    failed(QStringLiteral("cannot write %1").arg(path));
}

void writeRandomFile(const QString &path, qint64 size, quint64 seed) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    failed(QStringLiteral("cannot create %1").arg(path));
  Random random(seed);
  std::vector<quint64> block(1 << 17); // 1 MB
  qint64 left = size;
  while (left > 0) {
    for (quint64 &word : block)
      word = random.next();
    const qint64 n = qMin<qint64>(left, qint64(block.size() * sizeof(quint64)));
    if (file.write(reinterpret_cast<const char *>(block.data()), n) != n)
      failed(QStringLiteral("cannot write %1").arg(path));
    left -= n;
  }
}

void writeCopyFile(const QString &valuePath, const QString &copyPath) {
  QFile in(valuePath);
  QFile out(copyPath);
  if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
    failed(QStringLiteral("cannot copy %1 to %2").arg(valuePath, copyPath));
  QByteArray head("PGCOPY\n\377\r\n\0", 11);
  appendBigEndian(head, 0, 4); // flags
  appendBigEndian(head, 0, 4); // header extension length
  appendBigEndian(head, 1, 2); // fields in the tuple
  appendBigEndian(head, quint64(in.size()), 4);
  Q_ASSERT(head.size() == kCopyValueOffset);
  out.write(head);
  while (!in.atEnd())
    if (out.write(in.read(1 << 20)) < 0)
      failed(QStringLiteral("cannot write %1").arg(copyPath));
  QByteArray trailer;
  appendBigEndian(trailer, 0xFFFF, 2); // -1: no more tuples
  if (out.write(trailer) != 2)
    failed(QStringLiteral("cannot write %1").arg(copyPath));
}

bool sameBytes(const QString &a, const QString &b, qint64 offset, qint64 length) {
  QFile fa(a);
  QFile fb(b);
  if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
    return false;
  if (length < 0) {
    length = fa.size();
    if (fb.size() - offset != length)
      return false;
  } else if (fa.size() != length || fb.size() < offset + length) {
    return false;
  }
  if (!fb.seek(offset))
    return false;
  while (length > 0) {
    const qint64 n = qMin<qint64>(length, 1 << 20);
    const QByteArray x = fa.read(n);
    const QByteArray y = fb.read(n);
    if (x.size() != n || x != y)
      return false;
    length -= n;
  }
  return true;
}

QByteArray makeJpeg(int width, int height) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char *buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, TRUE);
  jpeg_start_compress(&info, TRUE);

  // Separable waves make smooth shapes; the noise stands for a sensor's.
  std::vector<double> wx(size_t(width) * 3), wy(size_t(height) * 3);
  const auto at = [](int i, int c) { return size_t(i) * 3 + size_t(c); };
  for (int x = 0; x < width; ++x)
    for (int c = 0; c < 3; ++c)
      wx[at(x, c)] = std::sin(x * (0.004 + 0.003 * c) + c);
  for (int y = 0; y < height; ++y)
    for (int c = 0; c < 3; ++c)
      wy[at(y, c)] = std::cos(y * (0.005 + 0.002 * c) + 2 * c);
  Random random(7);
  std::vector<unsigned char> row(size_t(width) * 3);
  while (info.next_scanline < info.image_height) {
    const int y = int(info.next_scanline);
    for (int x = 0; x < width; ++x) {
      const quint64 noise = random.next();
      for (int c = 0; c < 3; ++c) {
        const double base = 128 + 60 * wx[at(x, c)] * wy[at(y, c)] + 40 * wy[at(y, (c + 1) % 3)];
        const int value = int(base) + int((noise >> (c * 8)) & 15) - 8;
        row[at(x, c)] = static_cast<unsigned char>(std::clamp(value, 0, 255));
      }
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  QByteArray bytes(reinterpret_cast<const char *>(buffer), qsizetype(size));
  std::free(buffer);
  return bytes;
}

QByteArray makeJpegOfSize(qint64 size) {
  int side = 64;
  QByteArray jpeg = makeJpeg(side, side);
  while (jpeg.size() * 2 < size) {
    side = side * 7 / 5;
    jpeg = makeJpeg(side, side * 3 / 4);
  }
  while (jpeg.size() > size - 4) { // a comment segment takes at least 4 bytes
    side = side * 9 / 10;
    jpeg = makeJpeg(side, side * 3 / 4);
  }
  // Comment segments after the start marker, each at most 65535 bytes long
  // with its length field.
  QByteArray padding;
  qint64 missing = size - jpeg.size();
  while (missing > 0) {
    qint64 segment = qMin<qint64>(missing, 65537);
    if (missing - segment > 0 && missing - segment < 4)
      segment -= 4; // leaves room for one more whole segment
    const qint64 body = segment - 4;
    padding.append(char(0xFF));
    padding.append(char(0xFE));
    appendBigEndian(padding, quint64(body + 2), 2);
    padding.append(QByteArray(body, 'q'));
    missing -= segment;
  }
  jpeg.insert(2, padding);
  return jpeg;
}

QByteArray makeGif(int width, int height) {
  std::vector<GifColorType> colours(256);
  for (int i = 0; i < 256; ++i)
    colours[size_t(i)] = {GifByteType(i), GifByteType((i * 7) & 255), GifByteType(255 - i)};
  ColorMapObject *map = GifMakeMapObject(256, colours.data());
  QByteArray bytes;
  int error = 0;
  GifFileType *gif = EGifOpen(&bytes, appendGifBytes, &error);
  if (!gif || !map)
    failed(QStringLiteral("cannot write a GIF: %1").arg(GifErrorString(error)));
  bool ok = EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
  Random random(11);
  std::vector<GifByteType> line(static_cast<size_t>(width));
  for (int y = 0; ok && y < height; ++y) {
    for (int x = 0; x < width; ++x)
      line[size_t(x)] = GifByteType(((x / 9) ^ (y / 7)) + ((random.next() & 63) == 0 ? 1 : 0));
    ok = EGifPutLine(gif, line.data(), width) == GIF_OK;
  }
  GifFreeMapObject(map);
  if (EGifCloseFile(gif, &error) != GIF_OK || !ok)
    failed(QStringLiteral("cannot write a GIF: %1").arg(GifErrorString(error)));
  return bytes;
}

QByteArray makeBmp(int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y) {
    uchar *line = image.scanLine(y);
    for (int x = 0; x < width; ++x) {
      line[3 * x] = uchar(x * 255 / width);
      line[3 * x + 1] = uchar(y * 255 / height);
      line[3 * x + 2] = uchar((x ^ y) & 255);
    }
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "bmp");
  if (!writer.write(image))
    failed(QStringLiteral("cannot write a BMP: %1").arg(writer.errorString()));
  return bytes;
}

QByteArray makeWmf(int width, int height, int shapes) {
  QByteArray records;
  std::uint32_t words = 0;
  std::uint32_t largest = 0;
  const auto record = [&](std::uint16_t function, std::initializer_list<int> params) {
    const auto size = std::uint32_t(3 + params.size());
    appendWord(records, std::uint16_t(size & 0xFFFF));
    appendWord(records, std::uint16_t(size >> 16));
    appendWord(records, function);
    for (int p : params)
      appendWord(records, std::uint16_t(std::int16_t(p)));
    words += size;
    largest = std::max(largest, size);
  };
  record(0x020B, {0, 0});          // SetWindowOrg
  record(0x020C, {height, width}); // SetWindowExt
  Random random(13);
  for (int i = 0; i < shapes; ++i) {
    const auto colour = std::uint32_t(random.next() & 0xFFFFFF);
    record(0x02FA, {0, 1 + i % 3, 0, int(colour & 0xFFFF), int(colour >> 16)}); // CreatePen
    record(0x012D, {0});                                                        // SelectObject
    record(0x02FC, {0, int(~colour & 0xFFFF), int((~colour >> 16) & 0xFF), 0}); // CreateBrush
    record(0x012D, {1});
    const int x = int(random.next() % quint64(width - 40));
    const int y = int(random.next() % quint64(height - 40));
    switch (i % 3) {
    case 0:
      record(0x041B, {y + 30, x + 40, y, x}); // Rectangle
      break;
    case 1:
      record(0x0418, {y + 36, x + 30, y, x}); // Ellipse
      break;
    default:
      record(0x0324, {3, x, y + 30, x + 20, y, x + 40, y + 30}); // Polygon
      break;
    }
    record(0x01F0, {0}); // DeleteObject
    record(0x01F0, {1});
  }
  record(0x0000, {}); // EOF

  QByteArray bytes;
  std::vector<std::uint16_t> header{
      0xCDD7, 0x9AC6, 0, 0, 0, std::uint16_t(width), std::uint16_t(height), 96, 0, 0};
  std::uint16_t checksum = 0;
  for (std::uint16_t word : header)
    checksum ^= word;
  header.push_back(checksum);
  for (std::uint16_t word : header)
    appendWord(bytes, word);
  const std::uint32_t total = 9 + words;
  for (std::uint16_t word :
       {std::uint16_t(1), std::uint16_t(9), std::uint16_t(0x0300), std::uint16_t(total & 0xFFFF),
        std::uint16_t(total >> 16), std::uint16_t(2), std::uint16_t(largest & 0xFFFF),
        std::uint16_t(largest >> 16), std::uint16_t(0)})
    appendWord(bytes, word);
  bytes.append(records);
  return bytes;
}

} // namespace quillon::bench
