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
#include <QWindow>

#include <algorithm>
#include <utility>

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

void WindowPlacementKeeper::setDesignFrame(const QRect &frame) {
  applyFrame(
      {frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()},
      frameMargins());
}

void WindowPlacementKeeper::setFrameSizeLimits(const QSize &minimum, const QSize &maximum) {
  minimumFrame_ = minimum;
  maximumFrame_ = maximum;
  applySizeLimits(frameMargins());
}

void WindowPlacementKeeper::windowClosed() {
  guarded([this] { save(false); });
}

void WindowPlacementKeeper::windowDestroyed() {
  if (saveState_.needsSaveAtDestruction())
    guarded([this] { save(true); });
}

bool WindowPlacementKeeper::eventFilter(QObject *watched, QEvent *event) {
  if (watched == window_ && event->type() == QEvent::Show && !event->spontaneous()) {
    // Spontaneous shows are the desktop giving back a minimised window,
    // not the program showing it.
    if (QWindow *handle = window_->windowHandle())
      handle->installEventFilter(this);
    guarded([this] { restore(); });
  } else if (watched == window_->windowHandle() && event->type() == QEvent::Expose &&
             window_->windowHandle()->isExposed()) {
    // Mapped, hence framed: the window manager has told the frame's size.
    noteNormalMargins();
    windowFramed();
  } else if (watched == window_ &&
             (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
    noteNormalMargins();
  } else if (watched == window_ && event->type() == QEvent::WindowStateChange &&
             (window_->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
    forgetMaximizedFrames();
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
  const QMargins margins = frameMargins();
  // A window system that tells the frame before the window is shown.
  if (!margins.isNull() && !normalMargins_)
    normalMargins_ = margins;
  if (!framed_ && !margins.isNull())
    framed_ = true;
  applySizeLimits(margins);
  if (decided.position)
    applyPosition(*decided.position);
  else if (pendingFrame_)
    applyFrame(*pendingFrame_, margins);
  pendingState_ = {};
  if (decided.state) {
    const bool toMaximized =
        decided.position && (decided.position->flags & settings::RestoreToMaximized);
    const WindowShowState state = *decided.state;
    if (framed_ || state == WindowShowState::Normal)
      applyState(state, toMaximized);
    else
      pendingState_ = [this, state, toMaximized] { applyState(state, toMaximized); };
  }
  window_->update();
  saveState_.restored();
  // The window system puts a maximised window's frame just outside the
  // screen; the record says so after every restore.
  maximizedPosition_ = QPoint(-margins.left(), -margins.bottom());
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
  const settings::FrameRect &frame = placement.normalFrame;
  QList<QRect> areas;
  for (const QScreen *screen : QGuiApplication::screens())
    areas << screen->availableGeometry();
  const QRect onScreen = frameOntoScreens(
      QRect(QPoint(frame.left, frame.top), QPoint(frame.right - 1, frame.bottom - 1)), areas,
      std::max(margins.top(), kTitleRoom));
  applyFrame({onScreen.left(), onScreen.top(), onScreen.right() + 1, onScreen.bottom() + 1},
             margins);
  if (states & kSizedStates)
    window_->setWindowState(states);
}

void WindowPlacementKeeper::applyFrame(const settings::FrameRect &frame, const QMargins &margins) {
  // The client's rectangle, never the frame's position: a position that
  // includes the frame is taken for the client's while the window has not
  // been framed, and the window would move by the frame at every run.
  window_->setGeometry(clientRectForFrame(frame, margins));
  if (framed_)
    pendingFrame_.reset();
  else
    pendingFrame_ = frame;
}

void WindowPlacementKeeper::applySizeLimits(const QMargins &margins) {
  const QSize border(margins.left() + margins.right(), margins.top() + margins.bottom());
  const auto client = [&border](const QSize &frame) {
    return QSize(frame.width() >= QWIDGETSIZE_MAX ? QWIDGETSIZE_MAX
                                                  : std::max(0, frame.width() - border.width()),
                 frame.height() >= QWIDGETSIZE_MAX ? QWIDGETSIZE_MAX
                                                   : std::max(0, frame.height() - border.height()));
  };
  window_->setMinimumSize(client(minimumFrame_));
  window_->setMaximumSize(client(maximumFrame_));
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
  if (pendingFrame_) {
    // Not framed yet: the frame it is going to have.
    placement.normalFrame = *pendingFrame_;
  } else {
    const QRect frame = !maximized ? window_->geometry().marginsAdded(frameMargins())
                        : !recentNormalFrames_.empty()
                            ? recentNormalFrames_.back()
                            : window_->normalGeometry().marginsAdded(frameMargins());
    placement.normalFrame = {frame.left(), frame.top(), frame.left() + frame.width(),
                             frame.top() + frame.height()};
  }
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
  // The normal window's frame, as the window system tells it (a widget's
  // frame geometry lags behind until the widget next moves). A window
  // manager may frame a maximised window without borders, and takes the
  // frame away when the window is hidden: the normal frame last seen counts.
  const QWindow *handle = window_->windowHandle();
  if (handle && handle->isExposed() && !(window_->windowState() & kSizedStates))
    return handle->frameMargins();
  if (normalMargins_)
    return *normalMargins_;
  return handle ? handle->frameMargins() : QMargins();
}

void WindowPlacementKeeper::noteNormalMargins() {
  const QWindow *handle = window_->windowHandle();
  if (!handle || !handle->isExposed() || (window_->windowState() & kSizedStates))
    return;
  normalMargins_ = handle->frameMargins();
  if (pendingFrame_)
    return;
  const QRect frame = window_->geometry().marginsAdded(*normalMargins_);
  if (!recentNormalFrames_.empty() && recentNormalFrames_.back() == frame)
    return;
  recentNormalFrames_.push_back(frame);
  if (recentNormalFrames_.size() > 4)
    recentNormalFrames_.pop_front();
}

void WindowPlacementKeeper::forgetMaximizedFrames() {
  // Some window managers move and size a window they maximise before they
  // say so: the frames seen on the way are the maximised one's, not normal.
  const QRect maximized = window_->geometry().marginsAdded(frameMargins());
  while (!recentNormalFrames_.empty() &&
         (recentNormalFrames_.back().topLeft() == maximized.topLeft() ||
          recentNormalFrames_.back().size() == maximized.size()))
    recentNormalFrames_.pop_back();
}

void WindowPlacementKeeper::windowFramed() {
  if (framed_ && !pendingFrame_ && !pendingState_)
    return;
  framed_ = true;
  const QMargins margins = frameMargins();
  applySizeLimits(margins);
  maximizedPosition_ = QPoint(-margins.left(), -margins.bottom());
  if (pendingFrame_) {
    const settings::FrameRect frame = *pendingFrame_;
    pendingFrame_.reset();
    if (!(window_->windowState() & kSizedStates))
      window_->setGeometry(clientRectForFrame(frame, margins));
  }
  if (pendingState_)
    std::exchange(pendingState_, {})();
}

} // namespace quillon::forms
