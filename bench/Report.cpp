#include "bench/Report.h"

#include <algorithm>

namespace quillon::bench {

namespace {

constexpr double kMb = 1024.0 * 1024.0;

QString seconds(const Measure &m) {
  if (!m.valid())
    return QStringLiteral("failed");
  if (m.seconds < 0.1)
    return QStringLiteral("%1 ms").arg(m.seconds * 1000, 0, 'f', 1);
  return QStringLiteral("%1 s").arg(m.seconds, 0, 'f', 3);
}

QString megabytes(const Measure &m) {
  if (!m.valid())
    return QStringLiteral("-");
  return QStringLiteral("%1 MB").arg(double(m.peakKb) / 1024.0, 0, 'f', 1);
}

QString quillonCell(const Row &row) {
  QString text = seconds(row.quillon);
  if (row.bytes > 0 && row.quillon.valid() && row.quillon.seconds > 0)
    text +=
        QStringLiteral(" (%1 MB/s)").arg(double(row.bytes) / kMb / row.quillon.seconds, 0, 'f', 0);
  return text;
}

QString ratioCell(const Row &row) {
  const double r = row.ratio();
  return r < 0 ? QStringLiteral("-") : QString::number(r, 'f', 2);
}

QString targetCell(const Row &row) {
  QStringList parts;
  if (row.minRatio >= 0)
    parts << QStringLiteral("ratio >= %1").arg(row.minRatio, 0, 'f', 2);
  if (row.maxPeakMb >= 0)
    parts << QStringLiteral("peak <= %1 MB").arg(row.maxPeakMb, 0, 'f', 1);
  return parts.isEmpty() ? QStringLiteral("-") : parts.join(QStringLiteral(", "));
}

QString padded(const QString &text, int width) {
  return text.leftJustified(width, QLatin1Char(' '));
}

} // namespace

Measure combine(const std::vector<Measure> &runs) {
  std::vector<double> times;
  Measure result;
  for (const Measure &m : runs) {
    if (!m.valid())
      return {};
    times.push_back(m.seconds);
    result.peakKb = std::max(result.peakKb, m.peakKb);
  }
  if (times.empty())
    return {};
  std::sort(times.begin(), times.end());
  const size_t n = times.size();
  result.seconds = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  return result;
}

double Row::ratio() const {
  if (!quillon.valid() || !ref.valid() || reference.isEmpty() || quillon.seconds <= 0)
    return -1;
  return ref.seconds / quillon.seconds;
}

QString Row::verdict() const {
  if (minRatio < 0 && maxPeakMb < 0)
    return {};
  if (!quillon.valid())
    return QStringLiteral("MISSED: failed");
  if (minRatio >= 0 && ratio() < 0)
    return QStringLiteral("not measured");
  QStringList misses;
  if (minRatio >= 0 && ratio() < minRatio)
    misses << QStringLiteral("speed %1% below").arg((1 - ratio() / minRatio) * 100, 0, 'f', 0);
  const double peakMb = double(quillon.peakKb) / 1024.0;
  if (maxPeakMb >= 0 && peakMb > maxPeakMb)
    misses << QStringLiteral("peak %1 MB over").arg(peakMb - maxPeakMb, 0, 'f', 1);
  return misses.isEmpty() ? QStringLiteral("met")
                          : QStringLiteral("MISSED: ") + misses.join(QStringLiteral(", "));
}

bool Row::missed() const {
  return verdict().startsWith(QLatin1String("MISSED"));
}

void Report::add(const Row &row) {
  // Rows stay together by section, sections in the order they first came.
  auto last = rows_.end();
  for (auto it = rows_.begin(); it != rows_.end(); ++it)
    if (it->section == row.section)
      last = it + 1;
  rows_.insert(last, row);
}

QString Report::text() const {
  const QStringList header = {
      QStringLiteral("figure"),    QStringLiteral("Quillon"), QStringLiteral("peak"),
      QStringLiteral("reference"), QStringLiteral("time"),    QStringLiteral("peak"),
      QStringLiteral("ratio"),     QStringLiteral("target"),  QStringLiteral("verdict")};
  std::vector<QStringList> lines;
  std::vector<QString> sections;
  for (const Row &row : rows_) {
    lines.push_back({row.figure, quillonCell(row), megabytes(row.quillon),
                     row.reference.isEmpty() ? QStringLiteral("-") : row.reference,
                     row.reference.isEmpty() ? QStringLiteral("-") : seconds(row.ref),
                     row.reference.isEmpty() ? QStringLiteral("-") : megabytes(row.ref),
                     ratioCell(row), targetCell(row), row.verdict()});
    sections.push_back(row.section);
  }
  std::vector<int> widths(size_t(header.size()));
  for (int c = 0; c < header.size(); ++c) {
    widths[size_t(c)] = int(header[c].size());
    for (const QStringList &line : lines)
      widths[size_t(c)] = std::max(widths[size_t(c)], int(line[c].size()));
  }
  const auto format = [&](const QStringList &cells) {
    QString out;
    for (int c = 0; c < cells.size(); ++c)
      out += padded(cells[c], widths[size_t(c)] + 2);
    return out.trimmed() + QLatin1Char('\n');
  };
  QString out = format(header);
  QString section;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (sections[i] != section) {
      section = sections[i];
      out += QLatin1Char('\n') + section + QLatin1Char('\n');
    }
    out += format(lines[i]);
  }
  return out;
}

QString Report::markdown() const {
  QString out;
  QString section;
  for (const Row &row : rows_) {
    if (row.section != section) {
      section = row.section;
      out += QStringLiteral("\n#### %1\n\n").arg(section);
      out += QStringLiteral("| Figure | Quillon | Peak | Reference | Time | Peak | Ratio | Target "
                            "| Verdict |\n|---|---|---|---|---|---|---|---|---|\n");
    }
    const bool hasRef = !row.reference.isEmpty();
    const QString verdict = row.verdict();
    out += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 |\n")
               .arg(row.figure, quillonCell(row), megabytes(row.quillon),
                    hasRef ? row.reference : QStringLiteral("-"),
                    hasRef ? seconds(row.ref) : QStringLiteral("-"),
                    hasRef ? megabytes(row.ref) : QStringLiteral("-"), ratioCell(row),
                    targetCell(row), verdict.isEmpty() ? QStringLiteral("-") : verdict);
  }
  return out;
}

} // namespace quillon::bench
