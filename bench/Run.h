#pragma once

#include <QString>
#include <QStringList>

namespace quillon::bench {

struct Settings {
  // Small sizes and single runs: proves the harness works, measures nothing.
  bool quick = false;
  // Prints the steps of each of our operations as they run.
  bool verbose = false;
  // Scratch folder; empty: a temporary one of our own, removed at the end.
  QString work;
  // ODBC connection string of a PostgreSQL server; empty: PostgreSQL skipped.
  QString postgres;
  // Also write the table as Markdown here.
  QString markdown;
  // Sections to run (transfers, result, pictures, text, viewer, startup,
  // batch); empty: all.
  QStringList only;
  // The programs measured besides this one.
  QString app;
  QString render;
  QString makeDemoDb;
  QString bareWindow;
  QString viewerMoves;
  QString batch;
};

// Measures everything, prints the table and returns 0, or 1 when a check
// failed (bytes that did not round-trip, a program that failed).
int runBenchmarks(const Settings &settings);

} // namespace quillon::bench
