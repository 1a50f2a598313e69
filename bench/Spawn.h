#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>

#include <sys/resource.h>
#include <sys/types.h>

namespace quillon::bench {

// A program to start: argv[0] is looked up in PATH.
struct Command {
  QStringList argv;
  // Variables set (or, with a null value, removed) on top of our own.
  std::map<QString, QString> env;
  // Standard output and error go to these files; empty: they are kept
  // (see Outcome::out and Outcome::err).
  QString stdoutPath;
  QString stderrPath;
  // When set, GNU time runs the program and writes its peak memory here. A
  // child's own peak count starts from its parent's size (posix_spawn and
  // fork share or copy our pages until exec), so a small parent measures it.
  QString peakFile;
};

// How a finished program fared: wall time from start to reaped, and the
// peak resident memory the kernel saw.
struct Outcome {
  int exitCode = -1;
  int signal = 0;
  double seconds = 0;
  qint64 peakKb = 0; // from GNU time when asked, else as wait4 tells it
  QByteArray out;
  QByteArray err;

  bool ok() const { return signal == 0 && exitCode == 0; }
  // "exit status 3: <last lines of standard error>"
  QString failure() const;
  // The value of a "key=value" line of standard output; empty when absent.
  QString field(const QString &key) const;
};

// A started program whose output is collected while it runs.
class Child {
public:
  explicit Child(const Command &command);
  ~Child();
  Child(const Child &) = delete;
  Child &operator=(const Child &) = delete;

  pid_t pid() const { return pid_; }
  // Whether the program has ended, without waiting.
  bool exited();
  void kill(int signal);
  // Collects output for up to `timeoutMs`; what came so far.
  const QByteArray &output(int timeoutMs);
  double startTime() const { return start_; }
  // Reads the output to its end and reaps the program.
  Outcome finish();

private:
  void drain(int timeoutMs);
  void readPeak();
  // Records how the reaped child ended and what it used.
  void reaped(int status, const rusage &usage);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  double start_ = 0;
  bool reaped_ = false;
  QString peakFile_;
  Outcome outcome_;
};

// Runs a program to its end.
Outcome run(const Command &command);

// Seconds on the monotonic clock.
double now();

} // namespace quillon::bench
