#include "data/dialects/Engines.h"

#include <QRegularExpression>

#include <limits>

namespace quillon::data {

namespace {

// SQLite's keywords (sqlite3_keyword_name); some may stand as names, but a
// quoted one always does.
const char *const kKeywords[] = {"ABORT",
                                 "ACTION",
                                 "ADD",
                                 "AFTER",
                                 "ALL",
                                 "ALTER",
                                 "ALWAYS",
                                 "ANALYZE",
                                 "AND",
                                 "AS",
                                 "ASC",
                                 "ATTACH",
                                 "AUTOINCREMENT",
                                 "BEFORE",
                                 "BEGIN",
                                 "BETWEEN",
                                 "BY",
                                 "CASCADE",
                                 "CASE",
                                 "CAST",
                                 "CHECK",
                                 "COLLATE",
                                 "COLUMN",
                                 "COMMIT",
                                 "CONFLICT",
                                 "CONSTRAINT",
                                 "CREATE",
                                 "CROSS",
                                 "CURRENT",
                                 "CURRENT_DATE",
                                 "CURRENT_TIME",
                                 "CURRENT_TIMESTAMP",
                                 "DATABASE",
                                 "DEFAULT",
                                 "DEFERRABLE",
                                 "DEFERRED",
                                 "DELETE",
                                 "DESC",
                                 "DETACH",
                                 "DISTINCT",
                                 "DO",
                                 "DROP",
                                 "EACH",
                                 "ELSE",
                                 "END",
                                 "ESCAPE",
                                 "EXCEPT",
                                 "EXCLUDE",
                                 "EXCLUSIVE",
                                 "EXISTS",
                                 "EXPLAIN",
                                 "FAIL",
                                 "FILTER",
                                 "FIRST",
                                 "FOLLOWING",
                                 "FOR",
                                 "FOREIGN",
                                 "FROM",
                                 "FULL",
                                 "GENERATED",
                                 "GLOB",
                                 "GROUP",
                                 "GROUPS",
                                 "HAVING",
                                 "IF",
                                 "IGNORE",
                                 "IMMEDIATE",
                                 "IN",
                                 "INDEX",
                                 "INDEXED",
                                 "INITIALLY",
                                 "INNER",
                                 "INSERT",
                                 "INSTEAD",
                                 "INTERSECT",
                                 "INTO",
                                 "IS",
                                 "ISNULL",
                                 "JOIN",
                                 "KEY",
                                 "LAST",
                                 "LEFT",
                                 "LIKE",
                                 "LIMIT",
                                 "MATCH",
                                 "MATERIALIZED",
                                 "NATURAL",
                                 "NO",
                                 "NOT",
                                 "NOTHING",
                                 "NOTNULL",
                                 "NULL",
                                 "NULLS",
                                 "OF",
                                 "OFFSET",
                                 "ON",
                                 "OR",
                                 "ORDER",
                                 "OTHERS",
                                 "OUTER",
                                 "OVER",
                                 "PARTITION",
                                 "PLAN",
                                 "PRAGMA",
                                 "PRECEDING",
                                 "PRIMARY",
                                 "QUERY",
                                 "RAISE",
                                 "RANGE",
                                 "RECURSIVE",
                                 "REFERENCES",
                                 "REGEXP",
                                 "REINDEX",
                                 "RELEASE",
                                 "RENAME",
                                 "REPLACE",
                                 "RESTRICT",
                                 "RETURNING",
                                 "RIGHT",
                                 "ROLLBACK",
                                 "ROW",
                                 "ROWS",
                                 "SAVEPOINT",
                                 "SELECT",
                                 "SET",
                                 "TABLE",
                                 "TEMP",
                                 "TEMPORARY",
                                 "THEN",
                                 "TIES",
                                 "TO",
                                 "TRANSACTION",
                                 "TRIGGER",
                                 "UNBOUNDED",
                                 "UNION",
                                 "UNIQUE",
                                 "UPDATE",
                                 "USING",
                                 "VACUUM",
                                 "VALUES",
                                 "VIEW",
                                 "VIRTUAL",
                                 "WHEN",
                                 "WHERE",
                                 "WINDOW",
                                 "WITH",
                                 "WITHOUT",
                                 nullptr};

class Sqlite : public SqlDialect {
public:
  Dialect engine() const override { return Dialect::Sqlite; }

  QString quote(const QString &name) const override {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
  }

  bool standsUnquoted(const QString &name) const override {
    static const QRegularExpression regular(QStringLiteral("^[\\p{L}_][\\p{L}\\p{N}_$]*$"));
    static const QSet<QString> keywords = keywordSet(kKeywords);
    return regular.match(name).hasMatch() && !isKeyword(keywords, name);
  }

  // A database file has no schemas: a name with a full stop is one name.
  QString tableReference(const QString &table) const override {
    if (table.startsWith(QLatin1Char('"')) || table.startsWith(QLatin1Char('[')) ||
        table.startsWith(QLatin1Char('`')))
      return table;
    return quoteIfNeeded(table);
  }

  QString quotedTable(const QString &table) const override { return quote(table); }

  QString selectStatement(const QString &table, const QString &where,
                          std::optional<quint32> limit) const override {
    const QString tail = limit ? QStringLiteral(" limit ") + QString::number(*limit) : QString();
    return QStringLiteral("select  * from ") + table + where + tail;
  }

  QString tableListStatement() const override {
    return QStringLiteral("select name as Name from sqlite_master where type = 'table' and "
                          "name not like 'sqlite^_%' escape '^' order by name collate nocase, "
                          "name");
  }

  QString octetLength(const QString &column) const override {
    return QStringLiteral("length(CAST(%1 AS BLOB))").arg(column);
  }

  // length() of a blob answers from the record header; of text it counts
  // characters, so text is measured as bytes.
  QString valueLength(const QString &column, const SizedColumn &) const override {
    return QStringLiteral("CASE WHEN typeof(%1) = 'blob' THEN length(%1) ELSE %2 END")
        .arg(column, octetLength(column));
  }

  // A function of the program's own connections: the connection and its
  // data_version, which changes when another connection commits anything.
  // Coarser than a row's version, and as safe.
  QString rowVersion() const override { return QStringLiteral("quillon_data_version()"); }
  QString resultRowVersion(const QString &, const std::vector<KeyColumn> &) const override {
    return rowVersion();
  }

  QString readOnlyColumnsStatement() const override {
    // Hidden 2 and 3: generated columns, virtual and stored.
    return QStringLiteral("select name from pragma_table_xinfo(?) where hidden in (2, 3)");
  }

  // Declared lengths bind nothing in SQLite.
  qint64 longestBoundedText() const override { return std::numeric_limits<qint64>::max(); }
  // SQLITE_MAX_LENGTH as built; a connection may lower it.
  qint64 largestValue() const override { return 1000000000; }
};

} // namespace

const SqlDialect &sqliteDialect() {
  static const Sqlite dialect;
  return dialect;
}

} // namespace quillon::data
