#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QTextDocument;

namespace quillon::viewer {

// What the text pane shows for a value that gives no text.
QString failedToLoadText();

// The bytes as text in the locale's 8-bit encoding (UTF-8 on Linux), bad
// sequences replaced by U+FFFD; CR LF, a lone LF and a lone CR each end a
// line and all become '\n'.
QString plainTextOf(const QByteArray &bytes);

// A value as the text pane shows it.
struct TextContent {
  enum class Kind {
    Rich,   // RTF, in document
    Plain,  // text
    Failed, // text is failedToLoadText()
  };
  Kind kind = Kind::Failed;
  std::unique_ptr<QTextDocument> document;
  QString text;
};

// The value as RTF when it begins with "{\rtf", else as plain text. Every
// byte sequence is plain text, so Failed comes only from running out of
// memory while converting.
TextContent textContentOf(const QByteArray &value);

// Replaces the target's content, e.g. a QTextEdit's document().
void showTextContent(QTextDocument &target, const TextContent &content);
void showTextValue(QTextDocument &target, const QByteArray &value);

} // namespace quillon::viewer
