#pragma once

#include "forms/SecondaryWindow.h"

class QFrame;
class QStatusBar;

namespace quillon::data {
class Query;
} // namespace quillon::data

namespace quillon::forms {

class DbTextPane;
class PictureView;

// The floating viewer of the current cell; stays on top, never modal. The
// picture pane lies over the text pane, both filling the window above the
// status bar, which stays empty.
class TfrmOwnWindow : public SecondaryWindow {
  Q_OBJECT
public:
  // `dsList` is the result whose fields the text pane shows.
  explicit TfrmOwnWindow(data::Query *dsList, QWidget *parent = nullptr);

  DbTextPane *DBRichEdit;
  QFrame *pnlImage;
  PictureView *Image1;
  QStatusBar *StatusBar1;

protected:
  void resizeEvent(QResizeEvent *event) override;
};

} // namespace quillon::forms
