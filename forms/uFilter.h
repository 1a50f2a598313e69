#pragma once

#include "forms/SecondaryWindow.h"

namespace quillon::forms {

// The filter window: the row limit and the condition rows.
class TfrmFilter : public SecondaryWindow {
  Q_OBJECT
public:
  explicit TfrmFilter(QWidget *parent = nullptr);
};

} // namespace quillon::forms
