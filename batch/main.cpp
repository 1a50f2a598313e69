// quillon-batch: exports the values of a query to files and loads a folder of
// files into existing rows, over the connection that db.udl describes.
#include "batch/Commands.h"
#include "batch/Options.h"
#include "batch/Report.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DataLink.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <atomic>
#include <csignal>
#include <cstdio>

#include <unistd.h>

namespace {

std::atomic<bool> interrupted{false};

// The first Ctrl+C stops after the current file; a second one ends the
// program at once (a file being written then stays a temporary file).
void onInterrupt(int) {
  interrupted = true;
  std::signal(SIGINT, SIG_DFL);
}

int fail(const QString &message) {
  std::fprintf(stderr, "quillon-batch: %s\n", message.toLocal8Bit().constData());
  return 2;
}

} // namespace

int main(int argc, char *argv[]) {
  QCoreApplication application(argc, argv);
  using namespace quillon;

  QString error;
  const std::optional<batch::Options> options =
      batch::parseOptions(application.arguments().mid(1), &error);
  if (!options)
    return fail(error + QStringLiteral("; see quillon-batch --help"));
  if (options->command == batch::Command::Help) {
    std::fputs(batch::usageText().toLocal8Bit().constData(), stdout);
    return 0;
  }

  const QString udl = options->udl.isEmpty()
                          ? data::locateDataLinkFile(QCoreApplication::applicationDirPath(),
                                                     data::userDataLinkDir())
                          : options->udl;
  if (!QFileInfo(udl).isFile())
    return fail(QStringLiteral("no data-link file %1").arg(udl));
  data::Connection connection(QStringLiteral("quillon-batch"));
  connection.setConnectionString(QStringLiteral("FILE NAME=") + udl);
  try {
    connection.open();
  } catch (const data::DataError &e) {
    return fail(QStringLiteral("cannot connect with %1: %2").arg(udl, e.message()));
  }

  std::signal(SIGINT, onInterrupt);
  batch::Report report(stderr, isatty(STDERR_FILENO) == 1);
  const bool exporting = options->command == batch::Command::Export;
  try {
    if (exporting)
      batch::runExport(connection.driver(), *options, report, interrupted);
    else
      batch::runImport(connection.driver(), *options, report, interrupted);
  } catch (const data::DataError &e) {
    report.finish(exporting ? QStringLiteral("exported") : QStringLiteral("imported"));
    return fail(e.message());
  }
  if (interrupted)
    report.skipped(QStringLiteral("the rest"), QStringLiteral("stopped by Ctrl+C"));
  report.finish(options->dryRun ? QStringLiteral("would import")
                : exporting     ? QStringLiteral("exported")
                                : QStringLiteral("imported"));
  if (interrupted)
    return 130;
  return report.failures() > 0 ? 1 : 0;
}
