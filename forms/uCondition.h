#pragma once

#include "forms/SecondaryWindow.h"

namespace quillon::forms {

// The editor of one condition row, opened from the filter window.
class TfrmCondition : public SecondaryWindow {
  Q_OBJECT
public:
  explicit TfrmCondition(QWidget *parent = nullptr);
};

} // namespace quillon::forms
