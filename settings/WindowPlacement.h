#pragma once

#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quillon::settings {

// A rectangle by its edges, right and bottom lying just outside it
// (right = left + width), as placements are stored.
struct FrameRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  friend bool operator==(const FrameRect &, const FrameRect &) = default;
};

// Show commands of a placement.
enum ShowCommand : int { ShowNormal = 1, ShowMinimized = 2, ShowMaximized = 3 };

// Flags of a placement.
enum PlacementFlag : int { SetMinimizedPosition = 1, RestoreToMaximized = 2 };

// A window's placement: where it lies and in which state, the screen's
// pixels per inch when it was taken, and whether it was taken while the
// window was being destroyed.
struct WindowPlacement {
  int flags = 0;
  int showCommand = ShowNormal;
  QPoint minimizedPosition;
  QPoint maximizedPosition;
  // The outer frame of the window in its normal (restored) state.
  FrameRect normalFrame;
  int pixelsPerInch = 96;
  bool visible = false;

  friend bool operator==(const WindowPlacement &, const WindowPlacement &) = default;
};

enum class WindowShowState { Normal, Minimized, Maximized };

struct PlacementValue {
  QString name;
  QString text;

  friend bool operator==(const PlacementValue &, const PlacementValue &) = default;
};

// "(1024x768)": appended to the position values' names.
QString screenSizeSuffix(QSize screenSize);

// "minX,minY,maxX,maxY" and "left,top,right,bottom".
QString formatMinMaxPos(QPoint minimizedPosition, QPoint maximizedPosition);
QString formatNormPos(const FrameRect &frame);

// The words of a stored position: commas and blanks separate them, a run
// of them counting as one.
QStringList splitPlacementWords(const QString &text);

// The nine values a save writes, in the order it writes them: FormVersion,
// Flags, ShowCmd, PixelsPerInch, MinMaxPos for this screen size and plain,
// NormPos for this screen size and plain, Visible.
QList<PlacementValue> placementValuesToWrite(const WindowPlacement &placement, QSize screenSize);

// The stored state a show command stands for.
WindowShowState showStateFor(int showCommand);

// A stored value by name; nothing when absent. May throw SettingsError.
using StoredPlacementLookup = std::function<std::optional<QString>(const QString &name)>;

// What a restore applies, in this order: first the position (flags, both
// positions and the normal frame; the other fields as in the current
// placement), then the state. Neither when the stored version is too new.
// A stored value that cannot be read ends the restore: what was decided
// before it is kept and the store's message is in error.
struct PlacementRestore {
  std::optional<WindowPlacement> position;
  std::optional<WindowShowState> state;
  std::optional<QString> error;
};

// Decides a restore from the stored values, reading them in the order and
// only as far as the restore needs them. current is the window's placement
// before the restore (its normal frame being the window's present outer
// frame); it gives the defaults of missing and damaged numbers. The
// position is restored only when a position text was found, it was saved at
// the screen's present pixels per inch and its left lies left of its right.
PlacementRestore placementToRestore(const StoredPlacementLookup &stored,
                                    const WindowPlacement &current, QSize screenSize,
                                    int pixelsPerInch);

} // namespace quillon::settings
