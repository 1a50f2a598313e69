#include "data/dialects/SqlDialect.h"

#include "data/dialects/Engines.h"

#include <QRegularExpression>

namespace quillon::data {

namespace {

bool isQuote(QChar c) {
  return c == QLatin1Char('[') || c == QLatin1Char('"') || c == QLatin1Char('`');
}

// A part of a table name written with its own quotes: "[a b]", "\"a b\"".
bool isQuotedPart(const QString &part) {
  if (part.size() < 2)
    return false;
  const QChar open = part.front();
  const QChar close = open == QLatin1Char('[') ? QLatin1Char(']') : open;
  return isQuote(open) && part.back() == close;
}

// The parts of a table name as written, quotes kept.
QStringList writtenParts(const QString &name) {
  QStringList parts;
  QString part;
  const qsizetype n = name.size();
  qsizetype i = 0;
  while (i < n) {
    const QChar c = name[i];
    if (isQuote(c)) {
      const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
      part += name[i++];
      while (i < n) {
        part += name[i];
        if (name[i] == close) {
          if (i + 1 < n && name[i + 1] == close) {
            part += name[i + 1];
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
    } else if (c == QLatin1Char('.')) {
      parts << part;
      part.clear();
      ++i;
    } else {
      part += c;
      ++i;
    }
  }
  parts << part.trimmed();
  return parts;
}

QString unquotedPart(const QString &part) {
  if (!isQuotedPart(part))
    return part;
  const QChar close = part.back();
  QString inner = part.mid(1, part.size() - 2);
  return inner.replace(QString(2, close), QString(close));
}

} // namespace

const SqlDialect &SqlDialect::of(Dialect engine) {
  switch (engine) {
  case Dialect::SqlServer:
    return sqlServerDialect();
  case Dialect::Sqlite:
    return sqliteDialect();
  case Dialect::PostgreSql:
    return postgresDialect();
  case Dialect::Other:
    break;
  }
  return otherDialect();
}

QString SqlDialect::quoteIfNeeded(const QString &name) const {
  return standsUnquoted(name) ? name : quote(name);
}

QStringList SqlDialect::tableNameParts(const QString &name) {
  QStringList parts = writtenParts(name);
  for (QString &part : parts)
    part = unquotedPart(part);
  return parts;
}

QString SqlDialect::tableReference(const QString &table) const {
  QStringList parts = writtenParts(table);
  for (QString &part : parts)
    if (!isQuotedPart(part))
      part = quoteIfNeeded(part);
  return parts.join(QLatin1Char('.'));
}

QString SqlDialect::quotedTable(const QString &table) const {
  QStringList parts = tableNameParts(table);
  for (QString &part : parts)
    part = quote(part);
  return parts.join(QLatin1Char('.'));
}

QString SqlDialect::qualifiedName(const QString &schema, const QString &table,
                                  bool schemaIsImplied) const {
  static const QRegularExpression awkward(QStringLiteral("[.\"\\[\\]`]"));
  // Quoted only where a reader would take the part apart.
  const auto part = [this](const QString &name) {
    return name.contains(awkward) ? quote(name) : name;
  };
  if (table.isEmpty() || schema.isEmpty() || schemaIsImplied)
    return part(table);
  return part(schema) + QLatin1Char('.') + part(table);
}

QString SqlDialect::sizedSelect(const QString &statement, const std::vector<SizedColumn> &columns,
                                qint64 inlineLimit, const QStringList &extra) const {
  QStringList selected;
  for (size_t c = 0; c < columns.size(); ++c) {
    const QString column = QStringLiteral("q.") + quote(columns[c].name);
    if (!columns[c].sized) {
      selected << QStringLiteral("%1 AS %2").arg(column, quote(QStringLiteral("c%1").arg(c)));
      continue;
    }
    const QString length = valueLength(column, columns[c]);
    selected << QStringLiteral("%1 AS %2").arg(length, quote(QStringLiteral("s%1").arg(c)))
             << QStringLiteral("CASE WHEN %1 <= %2 THEN %3 END AS %4")
                    .arg(length)
                    .arg(inlineLimit)
                    .arg(caseValue(column, columns[c]), quote(QStringLiteral("c%1").arg(c)));
  }
  for (qsizetype x = 0; x < extra.size(); ++x)
    selected << QStringLiteral("%1 AS %2").arg(extra[x], quote(QStringLiteral("x%1").arg(x)));
  return QStringLiteral("SELECT %1 FROM %2")
      .arg(selected.join(QLatin1String(", ")), wrapped(statement));
}

QString SqlDialect::countSelect(const QString &statement) const {
  return QStringLiteral("SELECT count(*) FROM ") + wrapped(statement);
}

QString SqlDialect::wrapped(const QString &statement) {
  QString body = statement.trimmed();
  if (body.endsWith(QLatin1Char(';')))
    body.chop(1);
  // The statement on lines of its own, so that a comment at its end ends
  // there.
  return QStringLiteral("(\n%1\n) q").arg(body);
}

bool SqlDialect::isSingleSelect(const QString &sql) const {
  const qsizetype n = sql.size();
  qsizetype i = 0;
  bool started = false; // past the first word
  const auto skipComment = [&]() {
    if (sql.mid(i, 2) == QLatin1String("--")) {
      while (i < n && sql[i] != QLatin1Char('\n'))
        ++i;
      return true;
    }
    if (sql.mid(i, 2) == QLatin1String("/*")) {
      int depth = 0;
      do {
        if (sql.mid(i, 2) == QLatin1String("/*")) {
          ++depth;
          i += 2;
        } else if (sql.mid(i, 2) == QLatin1String("*/")) {
          --depth;
          i += 2;
        } else {
          ++i;
        }
      } while (i < n && depth > 0);
      return true;
    }
    return false;
  };
  while (i < n) {
    const QChar c = sql[i];
    if (c.isSpace()) {
      ++i;
    } else if (skipComment()) {
    } else if (!started) {
      if (sql.mid(i, 6).compare(QLatin1String("select"), Qt::CaseInsensitive) != 0 ||
          (i + 6 < n && (sql[i + 6].isLetterOrNumber() || sql[i + 6] == QLatin1Char('_'))))
        return false;
      started = true;
      i += 6;
    } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
      // '' and "" inside are an escaped quote: the scan leaves and enters.
      const qsizetype close = sql.indexOf(c, i + 1);
      if (close < 0)
        return true; // the engine reports the open quote
      i = close + 1;
    } else if (c == QLatin1Char('$')) {
      // $tag$ ... $tag$, PostgreSQL's dollar quoting.
      static const QRegularExpression tag(QStringLiteral("\\$[A-Za-z_]?[A-Za-z0-9_]*\\$"));
      const QRegularExpressionMatch match = tag.match(
          sql, i, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
      if (!match.hasMatch()) {
        ++i;
        continue;
      }
      const qsizetype close = sql.indexOf(match.captured(), i + match.capturedLength());
      if (close < 0)
        return true;
      i = close + match.capturedLength();
    } else if (c == QLatin1Char(';')) {
      // Only blanks and comments may follow.
      ++i;
      while (i < n) {
        if (sql[i].isSpace())
          ++i;
        else if (!skipComment())
          return false;
      }
    } else {
      ++i;
    }
  }
  return started;
}

SqlDialect::Comparison SqlDialect::compareLargeValue(const QString &column, bool) const {
  return {column + QLatin1String(" = ?"), false};
}

} // namespace quillon::data
