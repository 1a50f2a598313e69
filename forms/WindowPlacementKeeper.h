#pragma once

#include "settings/PlacementSaveState.h"
#include "settings/WindowPlacement.h"

#include <QList>
#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <deque>
#include <functional>
#include <optional>

class QWidget;

namespace quillon::forms {

// What a stored placement depends on: the size of the screen in pixels and
// its logical pixels per inch.
struct ScreenMetrics {
  QSize size;
  int pixelsPerInch = 96;
};

// The primary screen's metrics, or the stand-in a test has set.
ScreenMetrics currentScreenMetrics();
// Tests stand in for the screen with this; an empty function gives the real
// screen back.
void setScreenMetricsOverride(std::function<ScreenMetrics()> override);

// The client rectangle that gives a window with the given frame margins the
// outer frame `frame`.
QRect clientRectForFrame(const settings::FrameRect &frame, const QMargins &margins);

// The frame `frame` moved onto the nearest of the screens' available
// areas when its title bar (its top `titleHeight` pixels) would lie on
// none of them, as the desktop's own placement does; unchanged otherwise.
// A frame larger than the area keeps its size and starts at the area's
// top-left corner.
QRect frameOntoScreens(const QRect &frame, const QList<QRect> &areas, int titleHeight);

// Brings a top-level window back to the place, size and state it had when
// last closed, across runs, keeping its placement in a subkey of the user's
// settings named after the window's class.
//
// It restores the placement every time the window is shown, before it
// appears. The window tells it when it closes (windowClosed) and when it is
// being destroyed (windowDestroyed); a window never shown saves nothing.
// Failures of the store reach the general error box, and the window is
// shown or closes all the same.
class WindowPlacementKeeper : public QObject {
  Q_OBJECT
public:
  enum class Kind {
    // Minimising it stands for minimising the whole program.
    MainWindow,
    Other,
  };

  WindowPlacementKeeper(QWidget *window, const QString &subkey, Kind kind);

  // The outer frame the window has until a placement is restored: it is
  // applied to the frame, once the window manager has told its size.
  void setDesignFrame(const QRect &frame);
  // Size limits of the outer frame; the client's follow the frame's size.
  void setFrameSizeLimits(const QSize &minimum, const QSize &maximum);

  // The window's close went through: saved, Visible "0".
  void windowClosed();
  // The window is going: saved with Visible "1", unless nothing changed
  // since its last save (it was not shown again since).
  void windowDestroyed();

  // Reads the placement from the stored values and applies it; also runs
  // by itself whenever the window is shown.
  void restore();

  // The window's placement as it stands now.
  settings::WindowPlacement placement() const;

  QString subkey() const { return subkey_; }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void save(bool destroying);
  void applyPosition(const settings::WindowPlacement &placement);
  void applyState(settings::WindowShowState state, bool restoreToMaximized);
  void applyFrame(const settings::FrameRect &frame, const QMargins &margins);
  void applySizeLimits(const QMargins &margins);
  QMargins frameMargins() const;
  void windowFramed();
  void noteNormalMargins();
  void forgetMaximizedFrames();

  QWidget *window_;
  QString subkey_;
  Kind kind_;
  settings::PlacementSaveState saveState_;
  // What the window system keeps beside a window's rectangle: Qt has no
  // place for them, so they live here, as the last restore left them.
  QPoint minimizedPosition_{-1, -1};
  QPoint maximizedPosition_{-1, -1};
  QSize minimumFrame_{0, 0};
  QSize maximumFrame_{QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
  // Until the window manager has framed the window once, the frame's size is
  // unknown (an X server tells none before): the frame to give it waits
  // here, and so does a state, which would otherwise keep the unfitted
  // rectangle as the one to restore to.
  bool framed_ = false;
  std::optional<QMargins> normalMargins_;
  // The last normal frames seen, the newest at the back: the one to store
  // for a maximised window.
  std::deque<QRect> recentNormalFrames_;
  std::optional<settings::FrameRect> pendingFrame_;
  std::function<void()> pendingState_;
};

} // namespace quillon::forms
