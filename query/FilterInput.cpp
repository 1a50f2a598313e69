#include "query/FilterInput.h"

#include <limits>

namespace quillon::query {

namespace {

int digitValue(QChar c, int base) {
  const char16_t u = c.unicode();
  int value = -1;
  if (u >= u'0' && u <= u'9')
    value = u - u'0';
  else if (u >= u'a' && u <= u'f')
    value = u - u'a' + 10;
  else if (u >= u'A' && u <= u'F')
    value = u - u'A' + 10;
  return value < base ? value : -1;
}

} // namespace

std::optional<qint32> parseInteger(const QString &text) {
  qsizetype i = 0;
  while (i < text.size() && text[i] == u' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
    negative = text[i++] == u'-';
  int base = 10;
  if (i < text.size() && text[i] == u'$') {
    base = 16;
    ++i;
  }
  if (i == text.size())
    return std::nullopt;
  // Accumulated as a magnitude so that the lowest value, whose magnitude
  // exceeds the highest, still fits.
  const qint64 limit = negative ? -qint64(std::numeric_limits<qint32>::min())
                                : qint64(std::numeric_limits<qint32>::max());
  qint64 magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit = digitValue(text[i], base);
    if (digit < 0)
      return std::nullopt;
    magnitude = magnitude * base + digit;
    if (magnitude > limit)
      return std::nullopt;
  }
  return qint32(negative ? -magnitude : magnitude);
}

std::optional<quint32> parseRowLimit(const QString &text) {
  const std::optional<qint32> value = parseInteger(text);
  if (!value || *value < 0)
    return std::nullopt;
  return quint32(*value);
}

std::optional<ConditionRow> conditionToStore(const ConditionRow &typed) {
  if (typed.field.isEmpty())
    return std::nullopt;
  QString value = typed.value;
  value.replace(u'\r', u' ').remove(u'\n');
  if (typed.op.compare(QLatin1String("IN"), Qt::CaseInsensitive) == 0) {
    if (!value.startsWith(u'('))
      value.prepend(u'(');
    if (!value.endsWith(u')'))
      value.append(u')');
  }
  return ConditionRow{typed.field, typed.op, value};
}

} // namespace quillon::query
