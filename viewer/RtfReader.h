#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <memory>
#include <optional>

class QTextDocument;

namespace quillon::viewer {

// Reads Rich Text Format into a document a QTextEdit can show. Returns
// nullopt when the bytes do not begin with "{\rtf" (no leading whitespace,
// as rich-edit controls require). Anything after that prefix gives a
// document: what cannot be understood is skipped, never reported. The work
// is linear in the input; group nesting beyond kMaxRtfDepth is flattened.
std::optional<std::unique_ptr<QTextDocument>> readRtf(const QByteArray &bytes);

// True when readRtf would accept the bytes.
bool looksLikeRtf(const QByteArray &bytes);

// A paragraph longer than this continues in a block of its own, as it would
// wrap: a document laid out as one endless line costs time in the square of
// its length.
inline constexpr int kMaxRtfBlockLength = 2000;

// Groups deeper than this share their parent's formatting.
inline constexpr int kMaxRtfDepth = 1000;
// Table rows wider than this put further cells' text into the last cell.
inline constexpr int kMaxRtfTableColumns = 64;
// A table with more cells than this continues as a new table.
inline constexpr std::size_t kMaxRtfTableCells = 20000;
// Tables after this many are read as text: cells end with tabs, rows are
// paragraphs.
inline constexpr int kMaxRtfTables = 1000;

} // namespace quillon::viewer
