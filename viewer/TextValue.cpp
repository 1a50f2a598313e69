#include "viewer/TextValue.h"

#include "viewer/RtfReader.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <new>

namespace quillon::viewer {

QString failedToLoadText() {
  return QStringLiteral("(Failed to Load Stream)");
}

QString plainTextOf(const QByteArray &bytes) {
  const QString text = QString::fromLocal8Bit(bytes);
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

TextContent textContentOf(const QByteArray &value) {
  TextContent content;
  try {
    if (auto document = readRtf(value)) {
      content.kind = TextContent::Kind::Rich;
      content.document = std::move(*document);
      return content;
    }
  } catch (const std::bad_alloc &) {
    // Too large to format; plain text needs less.
  }
  try {
    content.text = plainTextOf(value);
    content.kind = TextContent::Kind::Plain;
  } catch (const std::bad_alloc &) {
    content.text = failedToLoadText();
    content.kind = TextContent::Kind::Failed;
  }
  return content;
}

void showTextContent(QTextDocument &target, const TextContent &content) {
  if (content.kind == TextContent::Kind::Rich && content.document) {
    target.clear();
    QTextCursor(&target).insertFragment(QTextDocumentFragment(content.document.get()));
    return;
  }
  target.setPlainText(content.text);
}

void showTextValue(QTextDocument &target, const QByteArray &value) {
  showTextContent(target, textContentOf(value));
}

} // namespace quillon::viewer
