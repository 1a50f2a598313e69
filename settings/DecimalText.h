#pragma once

#include <QString>

#include <limits>
#include <optional>

namespace quillon::settings {

// A stored number: an optional sign and ASCII decimal digits, nothing else,
// within the 32-bit range. Anything else is no number, and the caller takes
// its default.
inline std::optional<int> parseDecimal(const QString &text) {
  qsizetype i = 0;
  const bool negative = !text.isEmpty() && text[0] == u'-';
  if (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+'))
    ++i;
  if (i == text.size())
    return std::nullopt;
  const qint64 limit =
      negative ? -qint64(std::numeric_limits<int>::min()) : qint64(std::numeric_limits<int>::max());
  qint64 magnitude = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9')
      return std::nullopt;
    magnitude = magnitude * 10 + (c - u'0');
    if (magnitude > limit)
      return std::nullopt;
  }
  return int(negative ? -magnitude : magnitude);
}

} // namespace quillon::settings
