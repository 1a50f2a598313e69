#include "forms/WindowPlacementKeeper.h"

#include "forms/MessageBoxes.h"
#include "settings/PlacementStorage.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsError.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace quillon::forms {

namespace {

using settings::WindowShowState;

constexpr Qt::WindowStates kSizedStates =
    Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
// The title bar's height when the window manager has not told it yet.
constexpr int kTitleRoom = 24;

std::function<ScreenMetrics()> &metricsOverride() {
  static std::function<ScreenMetrics()> instance;
  return instance;
}

} // namespace

ScreenMetrics currentScreenMetrics() {
  if (metricsOverride())
    return metricsOverride()();
  const QScreen *screen = QGuiApplication::primaryScreen();
  if (!screen)
    return {};
  return {screen->size(), qRound(screen->logicalDotsPerInch())};
}

void setScreenMetricsOverride(std::function<ScreenMetrics()> override) {
  metricsOverride() = std::move(override);
}

QRect clientRectForFrame(const settings::FrameRect &frame, const QMargins &margins) {
  return QRect(frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top)
      .marginsRemoved(margins);
}

QRect frameOntoScreens(const QRect &frame, const QList<QRect> &areas, int titleHeight) {
  const QRect title(frame.topLeft(), QSize(frame.width(), std::min(frame.height(), titleHeight)));
  const QRect *nearest = nullptr;
  qint64 nearestDistance = 0;
  for (const QRect &area : areas) {
    if (area.intersects(title))
      return frame;
    const QPoint d = area.center() - frame.center();
    const qint64 distance = qint64(d.x()) * d.x() + qint64(d.y()) * d.y();
    if (!nearest || distance < nearestDistance) {
      nearest = &area;
      nearestDistance = distance;
    }
  }
  if (!nearest)
    return frame;
  QRect moved = frame;
  moved.moveLeft(std::clamp(frame.left(), nearest->left(),
                            std::max(nearest->left(), nearest->right() + 1 - frame.width())));
  moved.moveTop(std::clamp(frame.top(), nearest->top(),
                           std::max(nearest->top(), nearest->bottom() + 1 - frame.height())));
  return moved;
}

WindowPlacementKeeper::WindowPlacementKeeper(QWidget *window, const QString &subkey, Kind kind)
    : QObject(window), window_(window), subkey_(subkey), kind_(kind) {
  setObjectName(QStringLiteral("FormPlacement1"));
  window_->installEventFilter(this);
}

void WindowPlacementKeeper::windowClosed() {
  guarded([this] { save(false); });
}

void WindowPlacementKeeper::windowDestroyed() {
  if (saveState_.needsSaveAtDestruction())
    guarded([this] { save(true); });
}

bool WindowPlacementKeeper::eventFilter(QObject *watched, QEvent *event) {
  if (watched == window_) {
    switch (event->type()) {
    case QEvent::Show:
      // Spontaneous shows are the desktop giving back a minimised window,
      // not the program showing it.
      if (!event->spontaneous())
        guarded([this] { restore(); });
      break;
    case QEvent::Hide:
      if (!event->spontaneous())
        pendingFrame_.reset();
      break;
    case QEvent::Move:
    case QEvent::Resize:
      fitPendingFrame();
      break;
    default:
      break;
    }
  }
  return QObject::eventFilter(watched, event);
}

void WindowPlacementKeeper::restore() {
  const ScreenMetrics screen = currentScreenMetrics();
  const settings::WindowPlacement current = placement();
  settings::PlacementRestore decided;
  try {
    settings::RegistryStore store;
    decided = settings::readPlacementToRestore(store, subkey_, current, screen.size,
                                               screen.pixelsPerInch);
  } catch (const settings::SettingsError &) {
    // A key that cannot be opened holds nothing: every value its default.
    decided = settings::placementToRestore([](const QString &) { return std::optional<QString>(); },
                                           current, screen.size, screen.pixelsPerInch);
  }
  if (decided.position)
    applyPosition(*decided.position);
  if (decided.state)
    applyState(*decided.state,
               decided.position && (decided.position->flags & settings::RestoreToMaximized));
  window_->update();
  saveState_.restored();
  // The window system puts a maximised window's frame just outside the
  // screen; the record says so after every restore.
  const QMargins frame = frameMargins();
  maximizedPosition_ = QPoint(-frame.left(), -frame.bottom());
  if (decided.error)
    showGeneralError(*decided.error);
}

void WindowPlacementKeeper::applyPosition(const settings::WindowPlacement &placement) {
  minimizedPosition_ = placement.minimizedPosition;
  // The rectangle is the normal one: set it while the window is normal, so
  // that a maximised window keeps it as the one it restores to.
  const Qt::WindowStates states = window_->windowState();
  if (states & kSizedStates)
    window_->setWindowState(states & ~kSizedStates);
  const QMargins margins = frameMargins();
  settings::FrameRect frame = placement.normalFrame;
  QList<QRect> areas;
  for (const QScreen *screen : QGuiApplication::screens())
    areas << screen->availableGeometry();
  const QRect onScreen = frameOntoScreens(
      QRect(QPoint(frame.left, frame.top), QPoint(frame.right - 1, frame.bottom - 1)), areas,
      std::max(margins.top(), kTitleRoom));
  frame = {onScreen.left(), onScreen.top(), onScreen.right() + 1, onScreen.bottom() + 1};
  // A window's position is that of its frame, its size that of its client.
  window_->move(frame.left, frame.top);
  window_->resize(clientRectForFrame(frame, margins).size());
  marginsAtRestore_ = margins;
  if (margins.isNull())
    pendingFrame_ = frame;
  else
    pendingFrame_.reset();
  if (states & kSizedStates)
    window_->setWindowState(states);
}

void WindowPlacementKeeper::applyState(WindowShowState state, bool restoreToMaximized) {
  Qt::WindowStates states = window_->windowState() & ~kSizedStates;
  if (state == WindowShowState::Maximized) {
    states |= Qt::WindowMaximized;
  } else if (state == WindowShowState::Minimized) {
    if (kind_ == Kind::MainWindow) {
      // The whole program starts minimised: the window opens normal, and
      // minimising it is left to the event loop, as a posted request.
      QMetaObject::invokeMethod(
          window_,
          [window = QPointer<QWidget>(window_)] {
            if (window)
              window->showMinimized();
          },
          Qt::QueuedConnection);
    } else {
      states |= Qt::WindowMinimized;
      if (restoreToMaximized)
        states |= Qt::WindowMaximized;
    }
  }
  window_->setWindowState(states);
}

settings::WindowPlacement WindowPlacementKeeper::placement() const {
  settings::WindowPlacement placement;
  const Qt::WindowStates states = window_->windowState();
  const bool minimized = states.testFlag(Qt::WindowMinimized);
  const bool maximized = states & (Qt::WindowMaximized | Qt::WindowFullScreen);
  placement.showCommand = minimized   ? settings::ShowMinimized
                          : maximized ? settings::ShowMaximized
                                      : settings::ShowNormal;
  placement.flags = minimized && maximized ? settings::RestoreToMaximized : 0;
  placement.minimizedPosition = minimizedPosition_;
  placement.maximizedPosition = maximizedPosition_;
  const QMargins margins = frameMargins();
  // pos() is the frame's corner also while a window placed before it was
  // first shown has not been framed yet, unlike frameGeometry().
  const QRect frame = maximized ? window_->normalGeometry().marginsAdded(margins)
                                : QRect(window_->pos(), window_->size().grownBy(margins));
  placement.normalFrame = {frame.left(), frame.top(), frame.left() + frame.width(),
                           frame.top() + frame.height()};
  placement.pixelsPerInch = currentScreenMetrics().pixelsPerInch;
  return placement;
}

void WindowPlacementKeeper::save(bool destroying) {
  if (!saveState_.mayBeSaved())
    return;
  settings::WindowPlacement current = placement();
  current.visible = destroying;
  try {
    settings::RegistryStore store;
    settings::writePlacement(store, subkey_, current, currentScreenMetrics().size);
    saveState_.saved();
  } catch (const settings::SettingsError &error) {
    showGeneralError(error.message());
  }
}

QMargins WindowPlacementKeeper::frameMargins() const {
  const QRect frame = window_->frameGeometry();
  const QRect client = window_->geometry();
  return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                  frame.right() - client.right(), frame.bottom() - client.bottom());
}

void WindowPlacementKeeper::fitPendingFrame() {
  if (!pendingFrame_ || !window_->isVisible())
    return;
  const QMargins margins = frameMargins();
  if (margins == marginsAtRestore_)
    return;
  // The window manager has framed the window: its client was given the
  // whole frame's size, so it would grow by the frame at every run.
  const settings::FrameRect frame = *pendingFrame_;
  pendingFrame_.reset();
  maximizedPosition_ = QPoint(-margins.left(), -margins.bottom());
  if (!(window_->windowState() & kSizedStates))
    window_->resize(clientRectForFrame(frame, margins).size());
}

} // namespace quillon::forms
