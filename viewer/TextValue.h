#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QTextDocument;

namespace quillon::viewer {

// What the text pane shows for a value that gives no text.
QString failedToLoadText();

// The bytes as text: UTF-8, the locale's 8-bit encoding, where they are
// UTF-8 (a sequence cut off at their end is left out), else Windows-1251,
// the 8-bit code page such texts were written in. CR LF, a lone LF and a
// lone CR each end a line and all become '\n'.
QString plainTextOf(const QByteArray &bytes);

// The viewer shows at most this much of a text value; the rest of it is
// saved or opened with the commands.
inline constexpr qint64 kShownTextBytes = 2 << 20;

// A plain-text document of the text, its lines longer than
// kMaxRtfBlockLength continued on the next: the pane wraps them anyway, and
// Qt lays out one endless line in time that grows with the square of its
// length.
std::unique_ptr<QTextDocument> plainDocumentOf(const QString &text);

// The document the text pane shows for the first bytes of a value of
// `totalSize` bytes: RTF formatted when they begin with "{\rtf", anything
// else as plain text (plainDocumentOf); a note ends it when the value had
// more. When even plain text cannot be made, it holds
// failedToLoadText(). Made on any thread, for the caller to move.
std::unique_ptr<QTextDocument> shownDocumentOf(const QByteArray &firstBytes, qint64 totalSize);

} // namespace quillon::viewer
