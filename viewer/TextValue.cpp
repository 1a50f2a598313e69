#include "viewer/TextValue.h"

#include "viewer/CodePage.h"
#include "viewer/RtfReader.h"

#include <QStringDecoder>
#include <QTextCursor>
#include <QTextDocument>

#include <new>

namespace quillon::viewer {

QString failedToLoadText() {
  return QStringLiteral("(Failed to Load Stream)");
}

QString plainTextOf(const QByteArray &bytes) {
  // A decoder that keeps state keeps a cut-off sequence to itself.
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8.decode(bytes);
  if (utf8.hasError())
    text = decodeCodePage(bytes, 1251);
  QString lines;
  lines.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r') {
      lines.append(text[i]);
      continue;
    }
    lines.append(u'\n');
    if (i + 1 < text.size() && text[i + 1] == u'\n')
      ++i;
  }
  return lines;
}

namespace {

// The text with a line break after every kMaxRtfBlockLength characters of
// a line.
QString withLongLinesContinued(const QString &text) {
  QString lines;
  lines.reserve(text.size() + text.size() / kMaxRtfBlockLength);
  int length = 0;
  for (const QChar c : text) {
    if (c == u'\n') {
      length = 0;
    } else if (++length > kMaxRtfBlockLength) {
      lines += u'\n';
      length = 1;
    }
    lines += c;
  }
  return lines;
}

std::unique_ptr<QTextDocument> documentOf(const QByteArray &bytes) {
  try {
    if (auto document = readRtf(bytes))
      return std::move(*document);
  } catch (const std::bad_alloc &) {
    // Too large to format; plain text needs less.
  }
  try {
    return plainDocumentOf(plainTextOf(bytes));
  } catch (const std::bad_alloc &) {
    return plainDocumentOf(failedToLoadText());
  }
}

} // namespace

std::unique_ptr<QTextDocument> plainDocumentOf(const QString &text) {
  auto document = std::make_unique<QTextDocument>();
  document->setUndoRedoEnabled(false);
  document->setPlainText(withLongLinesContinued(text));
  return document;
}

std::unique_ptr<QTextDocument> shownDocumentOf(const QByteArray &firstBytes, qint64 totalSize) {
  std::unique_ptr<QTextDocument> document = documentOf(firstBytes);
  if (totalSize > firstBytes.size()) {
    QTextCursor end(document.get());
    end.movePosition(QTextCursor::End);
    end.insertBlock();
    end.insertText(QStringLiteral("(Показаны первые %1 байт из %2. Всё значение сохраняет "
                                  "команда «В файл».)")
                       .arg(firstBytes.size())
                       .arg(totalSize));
  }
  return document;
}

} // namespace quillon::viewer
