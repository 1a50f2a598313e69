#pragma once

#include <QString>
#include <QStringList>

namespace quillon::query {

// A statement after its parameter markers were replaced by "?".
struct MarkedStatement {
  QString text;
  QStringList parameters; // one name per marker, in order
};

// Scans a statement once, keeping track of quoted parts (', " or ` opens
// one and the next of any of the three closes it). Outside them "::"
// becomes ":" and a colon followed by anything else starts a marker that
// runs to the next blank, comma, semicolon, ')', CR or LF outside quotes,
// or to the end; it becomes "?" and names a parameter (surrounding quotes
// of the name dropped). No value is ever given to such a parameter. Where
// `doubleColonIsCast` (PostgreSQL's "::"), "::" stays as it is.
MarkedStatement markParameters(const QString &statement, bool doubleColonIsCast = false);

} // namespace quillon::query
