#include "data/dialects/Engines.h"

#include <QRegularExpression>

namespace quillon::data {

namespace {

// T-SQL's reserved words.
const char *const kReserved[] = {"ADD",
                                 "ALL",
                                 "ALTER",
                                 "AND",
                                 "ANY",
                                 "AS",
                                 "ASC",
                                 "AUTHORIZATION",
                                 "BACKUP",
                                 "BEGIN",
                                 "BETWEEN",
                                 "BREAK",
                                 "BROWSE",
                                 "BULK",
                                 "BY",
                                 "CASCADE",
                                 "CASE",
                                 "CHECK",
                                 "CHECKPOINT",
                                 "CLOSE",
                                 "CLUSTERED",
                                 "COALESCE",
                                 "COLLATE",
                                 "COLUMN",
                                 "COMMIT",
                                 "COMPUTE",
                                 "CONSTRAINT",
                                 "CONTAINS",
                                 "CONTAINSTABLE",
                                 "CONTINUE",
                                 "CONVERT",
                                 "CREATE",
                                 "CROSS",
                                 "CURRENT",
                                 "CURRENT_DATE",
                                 "CURRENT_TIME",
                                 "CURRENT_TIMESTAMP",
                                 "CURRENT_USER",
                                 "CURSOR",
                                 "DATABASE",
                                 "DBCC",
                                 "DEALLOCATE",
                                 "DECLARE",
                                 "DEFAULT",
                                 "DELETE",
                                 "DENY",
                                 "DESC",
                                 "DISK",
                                 "DISTINCT",
                                 "DISTRIBUTED",
                                 "DOUBLE",
                                 "DROP",
                                 "DUMP",
                                 "ELSE",
                                 "END",
                                 "ERRLVL",
                                 "ESCAPE",
                                 "EXCEPT",
                                 "EXEC",
                                 "EXECUTE",
                                 "EXISTS",
                                 "EXIT",
                                 "EXTERNAL",
                                 "FETCH",
                                 "FILE",
                                 "FILLFACTOR",
                                 "FOR",
                                 "FOREIGN",
                                 "FREETEXT",
                                 "FREETEXTTABLE",
                                 "FROM",
                                 "FULL",
                                 "FUNCTION",
                                 "GOTO",
                                 "GRANT",
                                 "GROUP",
                                 "HAVING",
                                 "HOLDLOCK",
                                 "IDENTITY",
                                 "IDENTITY_INSERT",
                                 "IDENTITYCOL",
                                 "IF",
                                 "IN",
                                 "INDEX",
                                 "INNER",
                                 "INSERT",
                                 "INTERSECT",
                                 "INTO",
                                 "IS",
                                 "JOIN",
                                 "KEY",
                                 "KILL",
                                 "LEFT",
                                 "LIKE",
                                 "LINENO",
                                 "LOAD",
                                 "MERGE",
                                 "NATIONAL",
                                 "NOCHECK",
                                 "NONCLUSTERED",
                                 "NOT",
                                 "NULL",
                                 "NULLIF",
                                 "OF",
                                 "OFF",
                                 "OFFSETS",
                                 "ON",
                                 "OPEN",
                                 "OPENDATASOURCE",
                                 "OPENQUERY",
                                 "OPENROWSET",
                                 "OPENXML",
                                 "OPTION",
                                 "OR",
                                 "ORDER",
                                 "OUTER",
                                 "OVER",
                                 "PERCENT",
                                 "PIVOT",
                                 "PLAN",
                                 "PRECISION",
                                 "PRIMARY",
                                 "PRINT",
                                 "PROC",
                                 "PROCEDURE",
                                 "PUBLIC",
                                 "RAISERROR",
                                 "READ",
                                 "READTEXT",
                                 "RECONFIGURE",
                                 "REFERENCES",
                                 "REPLICATION",
                                 "RESTORE",
                                 "RESTRICT",
                                 "RETURN",
                                 "REVERT",
                                 "REVOKE",
                                 "RIGHT",
                                 "ROLLBACK",
                                 "ROWCOUNT",
                                 "ROWGUIDCOL",
                                 "RULE",
                                 "SAVE",
                                 "SCHEMA",
                                 "SECURITYAUDIT",
                                 "SELECT",
                                 "SESSION_USER",
                                 "SET",
                                 "SETUSER",
                                 "SHUTDOWN",
                                 "SOME",
                                 "STATISTICS",
                                 "SYSTEM_USER",
                                 "TABLE",
                                 "TABLESAMPLE",
                                 "TEXTSIZE",
                                 "THEN",
                                 "TO",
                                 "TOP",
                                 "TRAN",
                                 "TRANSACTION",
                                 "TRIGGER",
                                 "TRUNCATE",
                                 "TRY_CONVERT",
                                 "TSEQUAL",
                                 "UNION",
                                 "UNIQUE",
                                 "UNPIVOT",
                                 "UPDATE",
                                 "UPDATETEXT",
                                 "USE",
                                 "USER",
                                 "VALUES",
                                 "VARYING",
                                 "VIEW",
                                 "WAITFOR",
                                 "WHEN",
                                 "WHERE",
                                 "WHILE",
                                 "WITH",
                                 "WITHIN",
                                 "WRITETEXT",
                                 nullptr};

// The longest value a column other than (max) holds, in bytes.
constexpr qint64 kMaxShortBytes = 8000;

class SqlServer : public SqlDialect {
public:
  Dialect engine() const override { return Dialect::SqlServer; }

  QString quote(const QString &name) const override {
    return QLatin1Char('[') + QString(name).replace(QLatin1Char(']'), QLatin1String("]]")) +
           QLatin1Char(']');
  }

  bool standsUnquoted(const QString &name) const override {
    static const QRegularExpression regular(QStringLiteral("^[\\p{L}_@#][\\p{L}\\p{N}_@$#]*$"));
    static const QSet<QString> keywords = keywordSet(kReserved);
    return regular.match(name).hasMatch() && !isKeyword(keywords, name);
  }

  // The original form: " top N" right after "select ".
  QString selectStatement(const QString &table, const QString &where,
                          std::optional<quint32> limit) const override {
    const QString top = limit ? QStringLiteral(" top ") + QString::number(*limit) : QString();
    return QStringLiteral("select ") + top + QStringLiteral(" * from ") + table + where;
  }

  QString tableListStatement() const override {
    return QStringLiteral("select Name from SysObjects where xType = 'U' order by Name");
  }

  QString octetLength(const QString &column) const override {
    return QStringLiteral("DATALENGTH(%1)").arg(column);
  }

  // image, text and ntext cannot be the result of a CASE: their (max)
  // types can.
  QString caseValue(const QString &column, const SizedColumn &sized) const override {
    const QString type = sized.typeName.toLower();
    if (type == QLatin1String("image"))
      return QStringLiteral("CAST(%1 AS varbinary(max))").arg(column);
    if (type == QLatin1String("text"))
      return QStringLiteral("CAST(%1 AS varchar(max))").arg(column);
    if (type == QLatin1String("ntext"))
      return QStringLiteral("CAST(%1 AS nvarchar(max))").arg(column);
    return column;
  }

  // Text arrives converted, in bytes no server function counts: only binary
  // values are sliced.
  QString slice(const QString &column, bool binary) const override {
    return binary ? QStringLiteral("SUBSTRING(%1, ?, ?)").arg(column) : QString();
  }

  Comparison compareLargeValue(const QString &column, bool binary) const override {
    // text, ntext and the (max) types cannot be compared with '=': binary
    // values by their length, text by its length in one encoding.
    if (binary)
      return {octetLength(column) + QLatin1String(" = ?"), true};
    return {QStringLiteral("DATALENGTH(CAST(%1 AS nvarchar(max))) = "
                           "DATALENGTH(CAST(? AS nvarchar(max)))")
                .arg(column),
            false};
  }

  qint64 longestBoundedText() const override { return kMaxShortBytes; }
  qint64 largestValue() const override { return (qint64(1) << 31) - 1; }
};

// An ODBC source of unknown kind: statements as SQL Server writes them,
// names quoted as the SQL standard does.
class Other : public SqlServer {
public:
  Dialect engine() const override { return Dialect::Other; }
  QString quote(const QString &name) const override {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
  }
  Comparison compareLargeValue(const QString &column, bool) const override {
    return {column + QLatin1String(" = ?"), false};
  }
  QString octetLength(const QString &column) const override {
    return QStringLiteral("LENGTH(%1)").arg(column);
  }
  QString slice(const QString &, bool) const override { return {}; }
};

} // namespace

QSet<QString> keywordSet(const char *const *words) {
  QSet<QString> set;
  for (; *words; ++words)
    set.insert(QLatin1String(*words));
  return set;
}

bool isKeyword(const QSet<QString> &keywords, const QString &name) {
  return keywords.contains(name.toUpper());
}

const SqlDialect &sqlServerDialect() {
  static const SqlServer dialect;
  return dialect;
}

const SqlDialect &otherDialect() {
  static const Other dialect;
  return dialect;
}

} // namespace quillon::data
