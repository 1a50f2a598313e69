#pragma once

#include <QDialog>
#include <QFont>
#include <QMargins>

#include <functional>

namespace quillon::forms {

// The windows' font: the desktop's sans-serif UI font at 8 points.
QFont uiFont();

// A window that lives from start-up to exit: closing it only hides it, so
// everything it holds lasts for the run.
class SecondaryWindow : public QDialog {
  Q_OBJECT
public:
  SecondaryWindow(const QString &caption, QSize clientSize, QWidget *parent = nullptr);

  // A fixed dialog border: no resizing, no minimise or maximise box.
  void setFixedDialogBorder();

  // Where the outer frame's top-left corner goes, given the frame's size:
  // at the first showing in the run, or at every showing. Under X the frame
  // is known only once the window manager has framed the window, so the
  // place is worked out again when the window is first painted.
  enum class Showings { First, Every };
  void setFramePlace(std::function<QPoint(QSize frame)> place, Showings showings);
  // The outer frame centred on the primary screen.
  static QPoint centredOnScreen(QSize frame);

  // From the main window's close on, the run is ending: the windows Qt
  // closes on its way out were not closed by the user.
  static void runEnds(bool ending = true);

signals:
  // The user closed the window with its close box (or Alt+F4).
  void closedByUser();

protected:
  void closeEvent(QCloseEvent *event) override;
  void showEvent(QShowEvent *event) override;
  bool event(QEvent *event) override;

private:
  void placeFrame();
  QMargins frameMarginsNow() const;

  static bool runEnding_;
  std::function<QPoint(QSize)> framePlace_;
  Showings showings_ = Showings::First;
  bool shownBefore_ = false;
  bool refitOnPaint_ = false;
  QMargins placedWith_;
};

} // namespace quillon::forms
