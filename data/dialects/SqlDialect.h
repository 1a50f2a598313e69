#pragma once

#include "data/FieldKind.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace quillon::data {

// The engine a connection reaches, which decides its statement dialect.
enum class Dialect { SqlServer, Sqlite, PostgreSql, Other };

// Everything engine-specific in the SQL the program writes: quoting, the
// row limit, the table list, length functions, catalogue lookups and the
// rules the engine applies to names and text. One object per engine, used
// by the statement composer and the drivers alike.
class SqlDialect {
public:
  virtual ~SqlDialect() = default;

  // The dialect of `engine`; Other (an ODBC source of unknown kind) writes
  // statements as SQL Server does and quotes names the SQL standard's way.
  static const SqlDialect &of(Dialect engine);

  virtual Dialect engine() const = 0;

  // A key column of a base table and the result column that holds it.
  struct KeyColumn {
    QString tableColumn;
    QString resultColumn;
  };

  // A column of a statement that sizedSelect wraps.
  struct SizedColumn {
    QString name;
    bool sized = false;  // a large value, given as its length first
    bool binary = false; // bytes, not text
    QString typeName;    // the engine's own
  };

  // ---- names

  // `name` quoted the engine's way, whatever it holds.
  virtual QString quote(const QString &name) const = 0;
  // True when `name` written unquoted means the same name: a regular
  // identifier of the engine that is no keyword.
  virtual bool standsUnquoted(const QString &name) const = 0;
  QString quoteIfNeeded(const QString &name) const;

  // The parts of a table name as the table list or a driver gives it ("t",
  // "s.t", "\"a.b\"", "[s].[t]"), their quotes removed.
  static QStringList tableNameParts(const QString &name);
  // A table name ready for a statement the user's filter joins: each part
  // quoted where it needs it, a part already quoted left as written. SQLite
  // knows no schemas, so there the name is one identifier.
  virtual QString tableReference(const QString &table) const;
  // A table name with every part quoted, for the statements the program
  // writes itself.
  virtual QString quotedTable(const QString &table) const;
  // A schema-qualified name as the drivers keep it: the schema left out
  // where `schemaIsImplied`, a part that a reader would take apart (holding
  // '.', quotes or brackets) quoted.
  QString qualifiedName(const QString &schema, const QString &table, bool schemaIsImplied) const;

  // ---- statements

  // The SELECT of table mode over `table` (as written by tableReference),
  // with the condition text `where` (empty or beginning with " where ") and
  // the row limit when the filter applies.
  virtual QString selectStatement(const QString &table, const QString &where,
                                  std::optional<quint32> limit) const = 0;
  // The user tables of the connected database, one column Name, ordered by
  // name without regard to letter case.
  virtual QString tableListStatement() const = 0;
  // The length in bytes of a large value column (quoted).
  virtual QString octetLength(const QString &column) const = 0;
  // The same for a column of a result that is text or bytes of any type.
  virtual QString valueLength(const QString &column, const SizedColumn &sized) const {
    Q_UNUSED(sized);
    return octetLength(column);
  }
  // A column's value where a CASE may give it.
  virtual QString caseValue(const QString &column, const SizedColumn &sized) const {
    Q_UNUSED(sized);
    return column;
  }

  // A SELECT over `statement`, a single SELECT, that gives its columns in
  // order as c0, c1, ...; a sized one as two: its length in bytes (s0, s1,
  // ...), then its value where that is at most `inlineLimit` bytes, else
  // NULL. The large values that are not needed are never read. The
  // expressions `extra` (over the statement's columns as q."name") follow
  // as x0, x1, ...
  QString sizedSelect(const QString &statement, const std::vector<SizedColumn> &columns,
                      qint64 inlineLimit, const QStringList &extra = {}) const;

  // A SELECT of the number of rows `statement`, a single SELECT, gives.
  QString countSelect(const QString &statement) const;

  // ---- row versions

  // A text that the engine changes whenever another client writes a row,
  // as an expression over the row an UPDATE or a SELECT of one table is at;
  // empty where the engine keeps none.
  virtual QString rowVersion() const { return {}; }
  // The version of the row of `table` that a row of sizedSelect's result
  // came from, found by the key columns `key`; empty where it cannot be
  // told.
  virtual QString resultRowVersion(const QString &table, const std::vector<KeyColumn> &key) const {
    Q_UNUSED(table);
    Q_UNUSED(key);
    return {};
  }

  // A slice of a large value column: an expression with two '?', the
  // 1-based start and the length, in bytes for binary values and in
  // characters for text; empty where the engine's driver streams values
  // itself (SQLite's blob handles) or cannot measure text in the bytes it
  // delivers.
  virtual QString slice(const QString &column, bool binary) const {
    Q_UNUSED(column);
    Q_UNUSED(binary);
    return {};
  }

  // How a row criterion compares a large value held in memory: `sql` holds
  // one '?', for the value or, when `bindsLength`, for its length in bytes.
  struct Comparison {
    QString sql;
    bool bindsLength = false;
  };
  virtual Comparison compareLargeValue(const QString &column, bool binary) const;

  // A statement with one parameter, a table name as the drivers keep it,
  // listing the columns (one column, their names) that a write may not set:
  // generated columns, identities always assigned by the engine, columns of
  // views that cannot be updated through them. Empty where the driver finds
  // them otherwise.
  virtual QString readOnlyColumnsStatement() const { return {}; }

  // ---- rules

  // True when `sql` is a single SELECT, comments and a final ';' aside:
  // the one kind of statement a server-side cursor can read.
  virtual bool isSingleSelect(const QString &sql) const;

  // True where "::" is the engine's cast, which the parameter-marker rule
  // must leave alone.
  virtual bool doubleColonIsCast() const { return false; }
  // The largest large value the engine keeps, in bytes.
  virtual qint64 largestValue() const = 0;
  // Whether a column of the kind holds text that the engine checks: a zero
  // byte would end the value, and bytes must be characters of the
  // database's encoding (textEncodingStatement).
  virtual bool checksText(FieldKind) const { return false; }
  // A SELECT of one value: the name of the encoding text is checked against;
  // empty where no text is checked.
  virtual QString textEncodingStatement() const { return {}; }
  // Declared text lengths above this are the engine's unbounded text
  // (SQL Server's (max), PostgreSQL's varchar without a length).
  virtual qint64 longestBoundedText() const = 0;

private:
  // `statement` as a subquery q, without its final ';'.
  static QString wrapped(const QString &statement);
};

} // namespace quillon::data
