#pragma once

#include "forms/SecondaryWindow.h"
#include "query/FilterState.h"

namespace quillon::forms {

// The filter window: the row limit and the condition rows.
class TfrmFilter : public SecondaryWindow {
  Q_OBJECT
public:
  explicit TfrmFilter(QWidget *parent = nullptr);

  // The row limit and the condition rows the table query is filtered by.
  query::FilterState filter;
};

} // namespace quillon::forms
