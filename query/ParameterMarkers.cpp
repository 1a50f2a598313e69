#include "query/ParameterMarkers.h"

namespace quillon::query {

namespace {

bool isQuote(QChar c) {
  return c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`');
}

bool endsMarker(QChar c) {
  return c == QLatin1Char(' ') || c == QLatin1Char(',') || c == QLatin1Char(';') ||
         c == QLatin1Char(')') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

} // namespace

MarkedStatement markParameters(const QString &statement, bool doubleColonIsCast) {
  MarkedStatement marked;
  const qsizetype n = statement.size();
  bool quoted = false;
  qsizetype i = 0;
  while (i < n) {
    const QChar c = statement[i];
    if (isQuote(c)) {
      quoted = !quoted;
      marked.text += c;
      ++i;
      continue;
    }
    if (quoted || c != QLatin1Char(':') || i + 1 >= n) {
      marked.text += c;
      ++i;
      continue;
    }
    if (statement[i + 1] == QLatin1Char(':')) {
      marked.text += doubleColonIsCast ? QStringLiteral("::") : QStringLiteral(":");
      i += 2;
      continue;
    }
    // A marker: up to the next terminator outside quotes.
    qsizetype end = i + 1;
    bool inMarkerQuote = false;
    while (end < n && (inMarkerQuote || !endsMarker(statement[end]))) {
      if (isQuote(statement[end]))
        inMarkerQuote = !inMarkerQuote;
      ++end;
    }
    QString name = statement.mid(i + 1, end - i - 1);
    if (!name.isEmpty() && isQuote(name.front())) {
      name.remove(0, 1);
      if (!name.isEmpty() && isQuote(name.back()))
        name.chop(1);
    }
    marked.parameters << name;
    marked.text += QLatin1Char('?');
    i = end;
  }
  return marked;
}

} // namespace quillon::query
