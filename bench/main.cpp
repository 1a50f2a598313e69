// quillon-bench: measures Quillon's transfers, result opening, picture
// decoding and start-up against the engines' and the system's own tools,
// in one run on this machine, and prints each figure beside its reference.
//
//   quillon-bench run [--quick] [--verbose] [--postgres ODBC-STRING] [--work DIR]
//                     [--markdown FILE] [--only SECTION,...]
//
// Without --postgres the string comes from QUILLON_TEST_PG, as the test
// command sets it; without either, the PostgreSQL figures are skipped.
// Sections: transfers, result, pictures, text, viewer, startup. The other first
// arguments are the measured operations (see Workloads.h), which the run
// starts as processes of their own.
#include "bench/Run.h"
#include "bench/Workloads.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

int usage() {
  std::fputs(
      "usage: quillon-bench run [--quick] [--verbose] [--postgres ODBC-STRING] [--work DIR]\n"
      "                         [--markdown FILE] [--only SECTION,...]\n"
      "Sections: transfers, result, pictures, text, viewer, startup.\n",
      stderr);
  return 2;
}

} // namespace

int main(int argc, char **argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i)
    args << QString::fromLocal8Bit(argv[i]);
  if (args.value(0) != QLatin1String("run"))
    return quillon::bench::runWorkload(args);

  QCoreApplication application(argc, argv);
  quillon::bench::Settings settings;
  settings.postgres = qEnvironmentVariable("QUILLON_TEST_PG");
  settings.app = QStringLiteral(QUILLON_BENCH_APP);
  settings.render = QStringLiteral(QUILLON_BENCH_RENDER);
  settings.makeDemoDb = QStringLiteral(QUILLON_BENCH_MAKE_DEMO_DB);
  settings.bareWindow = QStringLiteral(QUILLON_BENCH_BARE_WINDOW);
  settings.viewerMoves = QStringLiteral(QUILLON_BENCH_VIEWER);
  settings.batch = QStringLiteral(QUILLON_BENCH_BATCH);
  for (int i = 1; i < args.size(); ++i) {
    const QString &arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == QLatin1String("--quick"))
      settings.quick = true;
    else if (arg == QLatin1String("--verbose"))
      settings.verbose = true;
    else if (arg == QLatin1String("--postgres") && hasValue)
      settings.postgres = args[++i];
    else if (arg == QLatin1String("--work") && hasValue)
      settings.work = QDir(args[++i]).absolutePath();
    else if (arg == QLatin1String("--markdown") && hasValue)
      settings.markdown = args[++i];
    else if (arg == QLatin1String("--only") && hasValue)
      settings.only = args[++i].split(QLatin1Char(','), Qt::SkipEmptyParts);
    else
      return usage();
  }
  return quillon::bench::runBenchmarks(settings);
}
