#pragma once

#include "forms/SecondaryWindow.h"

namespace quillon::forms {

// The About window: the product's title, version and the maker's links.
class TfrmAbout : public SecondaryWindow {
  Q_OBJECT
public:
  explicit TfrmAbout(QWidget *parent = nullptr);
};

} // namespace quillon::forms
