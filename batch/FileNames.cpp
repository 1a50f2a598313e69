#include "batch/FileNames.h"

namespace quillon::batch {

std::optional<NamePattern> NamePattern::parse(const QString &text, QString *error) {
  NamePattern pattern;
  QString literal;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if ((c == QLatin1Char('{') || c == QLatin1Char('}')) && i + 1 < text.size() &&
        text[i + 1] == c) {
      literal += c;
      ++i;
      continue;
    }
    if (c == QLatin1Char('}')) {
      *error = QStringLiteral("name pattern \"%1\": '}' at %2 closes nothing; write }} for a brace")
                   .arg(text)
                   .arg(i + 1);
      return std::nullopt;
    }
    if (c != QLatin1Char('{')) {
      literal += c;
      continue;
    }
    const qsizetype close = text.indexOf(QLatin1Char('}'), i + 1);
    if (close < 0) {
      *error = QStringLiteral("name pattern \"%1\": '{' at %2 is not closed").arg(text).arg(i + 1);
      return std::nullopt;
    }
    const QString column = text.mid(i + 1, close - i - 1).trimmed();
    if (column.isEmpty()) {
      *error = QStringLiteral("name pattern \"%1\": empty placeholder at %2").arg(text).arg(i + 1);
      return std::nullopt;
    }
    if (!literal.isEmpty())
      pattern.parts_.push_back({literal, false});
    literal.clear();
    pattern.parts_.push_back({column, true});
    i = close;
  }
  if (!literal.isEmpty())
    pattern.parts_.push_back({literal, false});
  if (pattern.parts_.empty()) {
    *error = QStringLiteral("the name pattern is empty");
    return std::nullopt;
  }
  return pattern;
}

QStringList NamePattern::columns() const {
  QStringList names;
  for (const Part &part : parts_)
    if (part.column && !names.contains(part.text, Qt::CaseInsensitive))
      names << part.text;
  return names;
}

QString NamePattern::expand(const std::function<QString(const QString &)> &valueOf) const {
  QString name;
  for (const Part &part : parts_)
    name += part.column ? valueOf(part.text) : part.text;
  return name;
}

QString safeFileName(const QString &name, int maxBytes) {
  static const QString refused = QStringLiteral("/\\:*?\"<>|");
  QString safe;
  safe.reserve(name.size());
  for (const QChar c : name) {
    const bool control =
        c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control;
    safe += control || refused.contains(c) ? QLatin1Char('_') : c;
  }
  if (safe.count(QLatin1Char('.')) == safe.size())
    safe.fill(QLatin1Char('_'), qMax<qsizetype>(1, safe.size()));
  // Cut between characters, never inside a surrogate pair.
  while (safe.toUtf8().size() > maxBytes) {
    safe.chop(1);
    if (!safe.isEmpty() && safe.back().isHighSurrogate())
      safe.chop(1);
  }
  return safe.isEmpty() ? QStringLiteral("_") : safe;
}

QString NameRegister::claim(const QString &stem, const QString &extension,
                            const std::function<bool(const QString &)> &exists) {
  const QString dot = extension.isEmpty() ? QString() : QLatin1Char('.') + extension;
  QString name = stem + dot;
  for (int n = 2; isUsed(name) || exists(name); ++n)
    name = QStringLiteral("%1-%2%3").arg(stem).arg(n).arg(dot);
  reserve(name);
  return name;
}

} // namespace quillon::batch
