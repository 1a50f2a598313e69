#pragma once

#include "forms/SecondaryWindow.h"

class QLineEdit;

namespace quillon::forms {

// The settings window: the external programs and the default folder.
class TfrmSettings : public SecondaryWindow {
  Q_OBJECT
public:
  explicit TfrmSettings(QWidget *parent = nullptr);

  QLineEdit *dirDefaultDir = nullptr;
};

} // namespace quillon::forms
