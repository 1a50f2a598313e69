#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <map>

namespace quillon::viewer {

// Text in the Windows code pages that RTF documents and metafiles name
// (1251, 1252, 932, 10000 = Mac Roman, ...).

// The code page used where a document names none or an unknown one.
inline constexpr int kDefaultCodePage = 1252;

// Bytes in `codePage`; an unknown code page reads as 1252.
QString decodeCodePage(const QByteArray &bytes, int codePage);

// The code page of a font's character set (LOGFONT's lfCharSet, RTF's
// \fcharset); 0 for DEFAULT_CHARSET and unknown sets, which take the
// document's own.
int codePageOfCharset(int charset);

// decodeCodePage for many pieces of text: each code page's decoder is made
// once.
class CodePageDecoders {
public:
  QString decode(const QByteArray &bytes, int codePage);

private:
  std::map<int, QStringDecoder> decoders_;
};

namespace detail {
// The tables used for 1251 and 1252 when the Qt build has no ICU; exposed so
// tests can hold them against ICU. Other code pages give a null string.
QString decodeWithBuiltInTable(const QByteArray &bytes, int codePage);
} // namespace detail

} // namespace quillon::viewer
