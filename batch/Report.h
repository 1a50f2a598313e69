#pragma once

#include <QElapsedTimer>
#include <QString>

#include <cstdio>
#include <mutex>

namespace quillon::batch {

// What a run tells on stderr: a line per problem, naming the row and the
// file; while it runs, on a terminal only, one progress line (files, bytes,
// rate, time left); at the end a summary. Safe from several threads.
class Report {
public:
  // Problems, progress and the summary go to `out`; what a dry run lists
  // to `listing`.
  Report(FILE *out, bool terminal, FILE *listing = stdout);

  // What the run will move, where it is known (else -1).
  void expect(qint64 items, qint64 bytes);
  void written(qint64 bytes);
  void skipped(const QString &what, const QString &reason);
  void failed(const QString &what, const QString &reason);
  // What a dry run would write: listed, and counted as written.
  void wouldWrite(const QString &what, qint64 bytes);
  // Redraws the progress line when it is due.
  void progress();
  // The summary; `verb` says what was done to the files ("exported").
  void finish(const QString &verb);

  int failures() const;

private:
  void line(const QString &text);
  void drawProgress();

  FILE *out_;
  bool terminal_;
  FILE *listing_;
  mutable std::mutex mutex_;
  QElapsedTimer clock_;
  qint64 lastDrawn_ = -1;
  bool progressShown_ = false;
  qint64 expectedItems_ = -1;
  qint64 expectedBytes_ = -1;
  qint64 items_ = 0;
  qint64 bytes_ = 0;
  int skipped_ = 0;
  int failed_ = 0;
};

// A byte count as people read it: "512 B", "3.4 MB".
QString humanBytes(qint64 bytes);

} // namespace quillon::batch
