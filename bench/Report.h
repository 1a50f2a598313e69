#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace quillon::bench {

// One timed run (or the median of several): -1 seconds when it failed.
struct Measure {
  double seconds = -1;
  qint64 peakKb = 0;

  bool valid() const { return seconds >= 0; }
};

// The median time of several runs, with the highest peak among them.
Measure combine(const std::vector<Measure> &runs);

// A figure beside its reference. The ratio is the reference's time over
// Quillon's: above 1 Quillon is faster.
struct Row {
  QString section;
  QString figure;
  Measure quillon;
  QString reference; // empty: no reference
  Measure ref;
  double minRatio = -1;  // speed target, when >= 0
  double maxPeakMb = -1; // Quillon's memory limit, when >= 0
  qint64 bytes = 0;      // the value's size, for a throughput

  double ratio() const;
  // "met", "MISSED ...", or empty without a target.
  QString verdict() const;
  bool missed() const;
};

class Report {
public:
  void add(const Row &row);
  const std::vector<Row> &rows() const { return rows_; }
  // The table as plain text, one section after another.
  QString text() const;
  // The table as Markdown.
  QString markdown() const;

private:
  std::vector<Row> rows_;
};

} // namespace quillon::bench
