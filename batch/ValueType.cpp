#include "batch/ValueType.h"

#include "viewer/Signature.h"

namespace quillon::batch {

namespace {

// The names of the parts whose local headers lie in `bytes`; a header's
// name length is at offset 26, the name at 30.
QString officeKindOfZip(const QByteArray &bytes) {
  static const QByteArray header("PK\x03\x04", 4);
  for (qsizetype at = bytes.indexOf(header); at >= 0 && at + 30 <= bytes.size();
       at = bytes.indexOf(header, at + 4)) {
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData() + at);
    const int length = p[26] | (p[27] << 8);
    const QByteArray name = bytes.mid(at + 30, length);
    if (name.startsWith("word/"))
      return QStringLiteral("docx");
    if (name.startsWith("xl/"))
      return QStringLiteral("xlsx");
    if (name.startsWith("ppt/"))
      return QStringLiteral("pptx");
  }
  return QStringLiteral("zip");
}

bool isText(const QByteArray &bytes) {
  for (const char c : bytes) {
    const auto u = uchar(c);
    if ((u < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') || u == 0x7f)
      return false;
  }
  return true;
}

} // namespace

QString extensionFor(const QByteArray &firstBytes) {
  const QByteArray bytes = firstBytes.left(kTypeProbeBytes);
  switch (viewer::pictureFormatOf(bytes)) {
  case viewer::PictureFormat::Jpeg:
    return QStringLiteral("jpg");
  case viewer::PictureFormat::Gif:
    return QStringLiteral("gif");
  case viewer::PictureFormat::Bmp:
    return QStringLiteral("bmp");
  case viewer::PictureFormat::Wmf:
    return QStringLiteral("wmf");
  case viewer::PictureFormat::Ico:
    return QStringLiteral("ico");
  case viewer::PictureFormat::None:
    break;
  }
  if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
    return QStringLiteral("png");
  if (bytes.startsWith("%PDF-"))
    return QStringLiteral("pdf");
  if (bytes.startsWith("{\\rtf"))
    return QStringLiteral("rtf");
  if (bytes.startsWith(QByteArray("PK\x03\x04", 4)))
    return officeKindOfZip(bytes);
  if (!bytes.isEmpty() && isText(bytes))
    return QStringLiteral("txt");
  return QStringLiteral("bin");
}

} // namespace quillon::batch
