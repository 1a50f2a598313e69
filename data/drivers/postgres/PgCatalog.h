#pragma once

// What PostgreSQL's catalogue tells of result columns and tables: kinds by
// type, base tables and columns, keys.
#include "data/Driver.h"
#include "data/drivers/postgres/PgSession.h"

#include <vector>

namespace quillon::data::pg {

// A result column as the server describes it.
struct WireColumn {
  QString name;
  Oid type = 0;
  int typmod = -1;
  Oid table = 0;  // the base table, 0 for an expression
  int attnum = 0; // its column number there
};

// The columns a described or fetched result has.
std::vector<WireColumn> wireColumns(const PGresult *result);

// The kind of a type by its OID and modifier, given the category, kind and
// base type the catalogue holds for types it does not know by number.
FieldKind kindOfType(Oid type, int typmod, char category);
// The declared length of text types (varchar(n), char(n)); 0 otherwise.
int widthOfType(Oid type, int typmod);

// Turns the wire columns into the program's column descriptions, asking the
// catalogue for base tables, types it does not know and engine-assigned
// columns.
std::vector<ColumnInfo> describeColumns(Session &session, const std::vector<WireColumn> &columns);

// Primary key, else the first unique index over non-NULL columns without
// expressions; empty when the table has neither.
QStringList keyColumns(Session &session, const QString &quotedTable);

inline constexpr Oid kBytea = 17;

} // namespace quillon::data::pg
