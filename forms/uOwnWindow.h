#pragma once

#include "forms/SecondaryWindow.h"

namespace quillon::forms {

// The floating viewer of the current cell; stays on top, never modal.
class TfrmOwnWindow : public SecondaryWindow {
  Q_OBJECT
public:
  explicit TfrmOwnWindow(QWidget *parent = nullptr);

  // Unbinds the text pane and empties the picture.
  void ClearViewer();
};

} // namespace quillon::forms
