#include "data/dialects/Engines.h"

#include <QRegularExpression>

namespace quillon::data {

namespace {

// PostgreSQL's reserved key words, and those that cannot name a table
// unquoted.
const char *const kReserved[] = {"ALL",
                                 "ANALYSE",
                                 "ANALYZE",
                                 "AND",
                                 "ANY",
                                 "ARRAY",
                                 "AS",
                                 "ASC",
                                 "ASYMMETRIC",
                                 "AUTHORIZATION",
                                 "BINARY",
                                 "BOTH",
                                 "CASE",
                                 "CAST",
                                 "CHECK",
                                 "COLLATE",
                                 "COLLATION",
                                 "COLUMN",
                                 "CONCURRENTLY",
                                 "CONSTRAINT",
                                 "CREATE",
                                 "CROSS",
                                 "CURRENT_CATALOG",
                                 "CURRENT_DATE",
                                 "CURRENT_ROLE",
                                 "CURRENT_SCHEMA",
                                 "CURRENT_TIME",
                                 "CURRENT_TIMESTAMP",
                                 "CURRENT_USER",
                                 "DEFAULT",
                                 "DEFERRABLE",
                                 "DESC",
                                 "DISTINCT",
                                 "DO",
                                 "ELSE",
                                 "END",
                                 "EXCEPT",
                                 "FALSE",
                                 "FETCH",
                                 "FOR",
                                 "FOREIGN",
                                 "FREEZE",
                                 "FROM",
                                 "FULL",
                                 "GRANT",
                                 "GROUP",
                                 "HAVING",
                                 "ILIKE",
                                 "IN",
                                 "INITIALLY",
                                 "INNER",
                                 "INTERSECT",
                                 "INTO",
                                 "IS",
                                 "ISNULL",
                                 "JOIN",
                                 "LATERAL",
                                 "LEADING",
                                 "LEFT",
                                 "LIKE",
                                 "LIMIT",
                                 "LOCALTIME",
                                 "LOCALTIMESTAMP",
                                 "NATURAL",
                                 "NOT",
                                 "NOTNULL",
                                 "NULL",
                                 "OFFSET",
                                 "ON",
                                 "ONLY",
                                 "OR",
                                 "ORDER",
                                 "OUTER",
                                 "OVERLAPS",
                                 "PLACING",
                                 "PRIMARY",
                                 "REFERENCES",
                                 "RETURNING",
                                 "RIGHT",
                                 "SELECT",
                                 "SESSION_USER",
                                 "SIMILAR",
                                 "SOME",
                                 "SYMMETRIC",
                                 "SYSTEM_USER",
                                 "TABLE",
                                 "TABLESAMPLE",
                                 "THEN",
                                 "TO",
                                 "TRAILING",
                                 "TRUE",
                                 "UNION",
                                 "UNIQUE",
                                 "USER",
                                 "USING",
                                 "VARIADIC",
                                 "VERBOSE",
                                 "WHEN",
                                 "WHERE",
                                 "WINDOW",
                                 "WITH",
                                 nullptr};

// The longest varchar(n) PostgreSQL allows; the ODBC driver is told to
// report a varchar without a length as one longer than that.
constexpr qint64 kMaxVarcharLength = 10485760;

class Postgres : public SqlDialect {
public:
  Dialect engine() const override { return Dialect::PostgreSql; }

  QString quote(const QString &name) const override {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
  }

  // Unquoted names are folded to lower case, so only lower-case ones stand
  // for themselves.
  bool standsUnquoted(const QString &name) const override {
    static const QRegularExpression regular(QStringLiteral("^[\\p{L}_][\\p{L}\\p{N}_$]*$"));
    static const QRegularExpression upperAscii(QStringLiteral("[A-Z]"));
    static const QSet<QString> keywords = keywordSet(kReserved);
    return regular.match(name).hasMatch() && !name.contains(upperAscii) &&
           !isKeyword(keywords, name);
  }

  QString selectStatement(const QString &table, const QString &where,
                          std::optional<quint32> limit) const override {
    const QString tail = limit ? QStringLiteral(" limit ") + QString::number(*limit) : QString();
    return QStringLiteral("select  * from ") + table + where + tail;
  }

  // Tables the search path reaches by their name alone, the other
  // schemas' (the system's left out) schema-qualified; a part a reader
  // would take apart is quoted.
  QString tableListStatement() const override {
    return QStringLiteral(
               "select \"Name\" from (select case when pg_catalog.pg_table_is_visible(c.oid) then "
               "%1 else %2 || '.' || %1 end as \"Name\" from pg_catalog.pg_class c join "
               "pg_catalog.pg_namespace n on n.oid = c.relnamespace where c.relkind in ('r', 'p') "
               "and "
               "not c.relispartition and n.nspname <> 'information_schema' and n.nspname !~ "
               "'^pg_') "
               "tables order by lower(\"Name\"), \"Name\"")
        .arg(quotedWhereAwkward(QStringLiteral("c.relname")),
             quotedWhereAwkward(QStringLiteral("n.nspname")));
  }

  QString octetLength(const QString &column) const override {
    return QStringLiteral("octet_length(%1)").arg(column);
  }

  // substring counts bytes of bytea, characters of text; the marked
  // arguments must be typed, or the pattern form of substring is chosen.
  QString slice(const QString &column, bool binary) const override {
    return QStringLiteral("substring(%1 from CAST(? AS int4) for CAST(? AS int4))")
        .arg(binary ? column : column + QLatin1String("::text"));
  }

  // json, xml and arrays are measured by their text.
  QString valueLength(const QString &column, const SizedColumn &sized) const override {
    return sized.binary ? octetLength(column) : octetLength(column + QLatin1String("::text"));
  }

  // json and xml have no '=', so texts are compared as text.
  Comparison compareLargeValue(const QString &column, bool binary) const override {
    if (binary)
      return {column + QLatin1String(" = ?"), false};
    return {QStringLiteral("CAST(%1 AS text) = ?").arg(column), false};
  }

  // The transaction that wrote the row's current version. The row is found
  // again by its key, in the same statement and so in the same snapshot.
  QString rowVersion() const override { return QStringLiteral("xmin::text"); }
  QString resultRowVersion(const QString &table, const std::vector<KeyColumn> &key) const override {
    if (key.empty())
      return {};
    QStringList matches;
    for (const KeyColumn &column : key)
      matches << QStringLiteral("r.%1 = q.%2")
                     .arg(quote(column.tableColumn), quote(column.resultColumn));
    return QStringLiteral("(SELECT r.xmin::text FROM %1 r WHERE %2)")
        .arg(quotedTable(table), matches.join(QLatin1String(" AND ")));
  }

  QString readOnlyColumnsStatement() const override {
    return QStringLiteral(
        "select a.attname from pg_catalog.pg_attribute a where a.attrelid = to_regclass(?) and "
        "a.attnum > 0 and not a.attisdropped and (a.attgenerated <> '' or a.attidentity = 'a' or "
        "not pg_catalog.pg_column_is_updatable(a.attrelid, a.attnum, false))");
  }

  bool doubleColonIsCast() const override { return true; }

  qint64 longestBoundedText() const override { return kMaxVarcharLength; }
  // A value and its 4-byte length fit in 1 GB - 1; bytea and text alike.
  qint64 largestValue() const override { return (qint64(1) << 30) - 1 - 4; }
  // Text types end a value at a zero byte and check its characters; only
  // bytea keeps any bytes.
  bool checksText(FieldKind kind) const override {
    return kind != FieldKind::ftBlob && kind != FieldKind::ftGraphic &&
           kind != FieldKind::ftBytes && kind != FieldKind::ftVarBytes;
  }
  QString textEncodingStatement() const override {
    return QStringLiteral("SELECT pg_catalog.current_setting('server_encoding')");
  }

private:
  static QString quotedWhereAwkward(const QString &column) {
    return QStringLiteral("case when %1 ~ '[.\"\\[\\]`]' then quote_ident(%1) else %1 end")
        .arg(column);
  }
};

} // namespace

const SqlDialect &postgresDialect() {
  static const Postgres dialect;
  return dialect;
}

} // namespace quillon::data
