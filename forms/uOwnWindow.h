#pragma once

#include "forms/SecondaryWindow.h"

class QFrame;
class QStatusBar;

namespace quillon::forms {

class DbTextPane;
class PictureView;
class WindowPlacementKeeper;

// The floating viewer of the current cell; stays on top, never modal. The
// picture pane lies over the text pane, both filling the window above the
// status bar, which stays empty. What the panes show, the main window's
// viewer refresh puts there.
class TfrmOwnWindow : public SecondaryWindow {
  Q_OBJECT
public:
  explicit TfrmOwnWindow(QWidget *parent = nullptr);
  // Saves the placement once more if the viewer was shown since its last
  // save.
  ~TfrmOwnWindow() override;

  DbTextPane *DBRichEdit;
  QFrame *pnlImage;
  PictureView *Image1;
  QStatusBar *StatusBar1;
  // Restores the viewer's place at every showing; saves it when the user
  // closes the viewer, not when the main window's button hides it.
  WindowPlacementKeeper *FormPlacement1;

  // Escape does not hide the viewer: it closes by its close box or the main
  // window's button only, so its button and saved place stay in step.
  void reject() override {}

protected:
  void resizeEvent(QResizeEvent *event) override;
};

} // namespace quillon::forms
