#include "bench/Startup.h"

#include <QFile>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <poll.h>
#include <signal.h>
#include <xcb/xcb.h>

namespace quillon::bench {

namespace {

struct FreeDeleter {
  void operator()(void *p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

struct Disconnect {
  void operator()(xcb_connection_t *c) const { xcb_disconnect(c); }
};

xcb_atom_t atom(xcb_connection_t *c, const char *name) {
  const Reply<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr));
  return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QString windowTitle(xcb_connection_t *c, xcb_window_t window, xcb_atom_t netWmName) {
  for (const xcb_atom_t property : {netWmName, xcb_atom_t(XCB_ATOM_WM_NAME)}) {
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr));
    if (reply && xcb_get_property_value_length(reply.get()) > 0)
      return QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(reply.get())),
                               xcb_get_property_value_length(reply.get()));
  }
  return {};
}

// The peak resident memory of a running process so far ("VmHWM"), which
// unlike its rusage does not start from the parent's size.
qint64 peakKbOf(pid_t pid) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly))
    return 0;
  for (const QByteArray &line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:"))
      return line.mid(6).trimmed().split(' ').value(0).toLongLong();
  return 0;
}

} // namespace

VirtualScreen::VirtualScreen(const QString &logPath) {
  Command command;
  // -displayfd picks a free display and writes its number to our pipe.
  command.argv = {QStringLiteral("Xvfb"), QStringLiteral("-displayfd"), QStringLiteral("1"),
                  QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                  QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                  // No reset when the last client leaves: the next start
                  // would find the server regenerating.
                  QStringLiteral("-noreset")};
  command.stderrPath = logPath;
  server_ = std::make_unique<Child>(command);
  const double deadline = now() + 20;
  while (now() < deadline) {
    const QByteArray &out = server_->output(100);
    if (out.contains('\n')) {
      display_ = QLatin1Char(':') + QString::fromLatin1(out.trimmed());
      return;
    }
    if (server_->exited())
      break;
  }
  throw std::runtime_error("Xvfb did not start (package xvfb); its log: " + logPath.toStdString());
}

VirtualScreen::~VirtualScreen() {
  server_->kill(SIGTERM);
  server_->finish();
}

StartupFigure measureStartup(const Command &command, const QString &display, const QString &title,
                             double timeoutSeconds) {
  StartupFigure figure;
  int screenNumber = 0;
  const std::unique_ptr<xcb_connection_t, Disconnect> c(
      xcb_connect(display.toLocal8Bit().constData(), &screenNumber));
  if (xcb_connection_has_error(c.get())) {
    figure.error = QStringLiteral("cannot reach the X server %1").arg(display);
    return figure;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c.get()));
  for (int i = 0; i < screenNumber; ++i)
    xcb_screen_next(&screens);
  // Top-level windows are the root's children: their mapping is reported
  // to whoever watches the root's structure.
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(c.get(), screens.data->root, XCB_CW_EVENT_MASK, &mask);
  const xcb_atom_t netWmName = atom(c.get(), "_NET_WM_NAME");
  xcb_flush(c.get());

  Command withDisplay = command;
  withDisplay.env[QStringLiteral("DISPLAY")] = display;
  Child program(withDisplay);
  const double deadline = program.startTime() + timeoutSeconds;
  pollfd fd{xcb_get_file_descriptor(c.get()), POLLIN, 0};
  while (figure.titledWindow < 0) {
    if (now() > deadline) {
      figure.error =
          QStringLiteral("no window titled \"%1\" within %2 s").arg(title).arg(timeoutSeconds);
      break;
    }
    if (program.exited()) {
      figure.error = QStringLiteral("the program ended before its window was shown: %1")
                         .arg(program.finish().failure());
      return figure;
    }
    poll(&fd, 1, 20);
    while (xcb_generic_event_t *raw = xcb_poll_for_event(c.get())) {
      const Reply<xcb_generic_event_t> event(raw);
      if ((event->response_type & 0x7F) != XCB_MAP_NOTIFY)
        continue;
      const double at = now() - program.startTime();
      const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event.get());
      if (map->override_redirect)
        continue; // menus and tooltips
      if (figure.firstWindow < 0)
        figure.firstWindow = at;
      if (windowTitle(c.get(), map->window, netWmName) == title && figure.titledWindow < 0) {
        figure.titledWindow = at;
        figure.peakKb = peakKbOf(program.pid());
      }
    }
    if (xcb_connection_has_error(c.get())) {
      figure.error = QStringLiteral("lost the X server %1").arg(display);
      break;
    }
  }
  program.kill(SIGKILL);
  program.finish();
  return figure;
}

} // namespace quillon::bench
