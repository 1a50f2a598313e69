// Moves the main window's cursor onto one cell of a table, as a user does
// with the arrow keys, and reports how the viewer kept the window alive:
//
//   quillon-bench-viewer PROGRAM_DIR TABLE ROW COLUMN
//
// prints stall_ms (the longest time the event loop did not turn between the
// move and the viewer settling), shown_ms (from the move until the pane
// shows the value, or gives up on it) and idle_kb (resident size before the
// move). PROGRAM_DIR holds the db.udl that reaches the table.
#include "forms/CommandRouter.h"
#include "forms/ResultGrid.h"
#include "forms/ViewerRefresh.h"
#include "forms/Windows.h"
#include "forms/uBlobFormFile.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>

using namespace quillon;
using namespace quillon::forms;

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

qint64 residentKb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly))
    return 0;
  for (const QByteArray &line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:"))
      return line.mid(6).trimmed().split(' ').value(0).toLongLong();
  return 0;
}

int fail(const char *message) {
  std::fprintf(stderr, "quillon-bench-viewer: %s\n", message);
  return 1;
}

} // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() != 5)
    return fail("usage: quillon-bench-viewer PROGRAM_DIR TABLE ROW COLUMN");
  const int row = args[3].toInt();

  createWindows(args[1]);
  InitStartupState();
  frmMainForm->show();
  runCommand(frmMainForm->AReConnect);
  const int table = frmMainForm->cbTables->findText(args[2]);
  if (table < 0)
    return fail("the table is not listed");
  frmMainForm->cbTables->setCurrentIndex(table);
  runCommand(frmMainForm->ARefresh);
  if (!frmMainForm->qrList.active() || frmMainForm->qrList.recordCount() <= row)
    return fail("the table did not open with that row");
  const int column =
      frmMainForm->resultGrid()->model()->columnOf(&frmMainForm->qrList.fieldByName(args[4]));
  if (column < 0)
    return fail("the column is not shown");

  // Settle on the first cell of the column, then measure the move.
  ViewerRefresh &viewer = frmMainForm->viewerRefresh();
  auto settle = [&] {
    while (viewer.busy())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
  };
  frmMainForm->grdList->setCurrentIndex(frmMainForm->grdList->model()->index(0, column));
  settle();
  const qint64 idle = residentKb();

  // A timer that fires as often as it can: the gap between two of its
  // turns is how long input would have waited.
  double last = now(), longest = 0;
  QTimer ticker;
  ticker.setInterval(0);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const double t = now();
    longest = std::max(longest, t - last);
    last = t;
  });
  const double start = now();
  ticker.start();
  last = start;
  frmMainForm->grdList->setCurrentIndex(frmMainForm->grdList->model()->index(row, column));
  longest = std::max(longest, now() - last); // the move itself
  last = now();
  settle();
  const double shown = now() - start;
  longest = std::max(longest, now() - last);
  ticker.stop();

  std::printf("stall_ms=%.1f\nshown_ms=%.1f\nidle_kb=%lld\n", longest * 1000, shown * 1000,
              static_cast<long long>(idle));
  destroyWindows();
  return 0;
}
