#pragma once

#include "bench/Spawn.h"

#include <memory>

namespace quillon::bench {

// A virtual X server (Xvfb) of our own for the start-up figures.
class VirtualScreen {
public:
  // Throws std::runtime_error when the server does not come up.
  explicit VirtualScreen(const QString &logPath);
  ~VirtualScreen();
  VirtualScreen(const VirtualScreen &) = delete;
  VirtualScreen &operator=(const VirtualScreen &) = delete;

  // ":N"
  QString display() const { return display_; }

private:
  std::unique_ptr<Child> server_;
  QString display_;
};

struct StartupFigure {
  double firstWindow = -1;  // seconds until the first top-level window was mapped
  double titledWindow = -1; // ... until the window titled `title` was mapped
  qint64 peakKb = 0;        // the program's peak memory until then
  QString error;            // empty when both windows were seen

  bool ok() const { return error.isEmpty(); }
};

// Starts `command` on `display` and watches the server for the program's
// windows being mapped; the program is stopped once the titled window is.
StartupFigure measureStartup(const Command &command, const QString &display, const QString &title,
                             double timeoutSeconds);

} // namespace quillon::bench
