#include "viewer/CodePage.h"

#include <QList>

#include <array>

namespace quillon::viewer {

namespace {

// Windows-1252 0x80..0x9F; the five unassigned bytes map to C1 controls as
// Windows and ICU do.
constexpr std::array<char16_t, 32> kCp1252From80 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Windows-1251 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
constexpr std::array<char16_t, 64> kCp1251From80 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

// ICU names first where the plain "windows-N" form is not the Windows table.
QList<QByteArray> decoderNames(int codePage) {
  switch (codePage) {
  case 932:
    return {"windows-31j", "Shift_JIS"};
  case 936:
    return {"GBK"};
  case 949:
    return {"windows-949", "EUC-KR"};
  case 950:
    return {"windows-950", "Big5"};
  case 10000:
    return {"macintosh"};
  case 20127:
    return {"US-ASCII"};
  case 28591:
    return {"ISO-8859-1"};
  case 65001:
    return {"UTF-8"};
  default:
    break;
  }
  const QByteArray number = QByteArray::number(codePage);
  return {"windows-" + number, "cp" + number, "IBM" + number};
}

QStringDecoder makeDecoder(int codePage) {
  if (codePage > 0)
    for (const QByteArray &name : decoderNames(codePage)) {
      QStringDecoder decoder(name.constData());
      if (decoder.isValid())
        return decoder;
    }
  return QStringDecoder();
}

QString decodeWith(QStringDecoder &decoder, const QByteArray &bytes, int codePage) {
  if (bytes.isEmpty())
    return QString();
  if (decoder.isValid()) {
    decoder.resetState();
    return decoder.decode(bytes);
  }
  QString text = detail::decodeWithBuiltInTable(bytes, codePage);
  return text.isNull() ? detail::decodeWithBuiltInTable(bytes, kDefaultCodePage) : text;
}

} // namespace

QString decodeCodePage(const QByteArray &bytes, int codePage) {
  QStringDecoder decoder = makeDecoder(codePage);
  return decodeWith(decoder, bytes, codePage);
}

int codePageOfCharset(int charset) {
  switch (charset) {
  case 0:
    return 1252;
  case 2: // symbol fonts: their bytes are glyph numbers, shown as Latin
    return 1252;
  case 77:
    return 10000;
  case 128:
    return 932;
  case 129:
    return 949;
  case 130:
    return 1361;
  case 134:
    return 936;
  case 136:
    return 950;
  case 161:
    return 1253;
  case 162:
    return 1254;
  case 163:
    return 1258;
  case 177:
    return 1255;
  case 178:
    return 1256;
  case 186:
    return 1257;
  case 204:
    return 1251;
  case 222:
    return 874;
  case 238:
    return 1250;
  case 254:
    return 437;
  case 255:
    return 850;
  default:
    return 0;
  }
}

QString CodePageDecoders::decode(const QByteArray &bytes, int codePage) {
  auto found = decoders_.find(codePage);
  if (found == decoders_.end())
    found = decoders_.emplace(codePage, makeDecoder(codePage)).first;
  return decodeWith(found->second, bytes, codePage);
}

namespace detail {

QString decodeWithBuiltInTable(const QByteArray &bytes, int codePage) {
  if (codePage != 1251 && codePage != 1252)
    return QString();
  QString text(bytes.size(), Qt::Uninitialized);
  QChar *out = text.data();
  for (const char c : bytes) {
    const uchar byte = uchar(c);
    char16_t unit = byte;
    if (codePage == 1252 && byte >= 0x80 && byte < 0xA0)
      unit = kCp1252From80[byte - 0x80];
    else if (codePage == 1251 && byte >= 0x80)
      unit = byte < 0xC0 ? kCp1251From80[byte - 0x80] : char16_t(0x0410 + byte - 0xC0);
    *out++ = QChar(unit);
  }
  return text;
}

} // namespace detail

} // namespace quillon::viewer
