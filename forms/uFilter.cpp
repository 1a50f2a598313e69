#include "forms/uFilter.h"

namespace quillon::forms {

TfrmFilter::TfrmFilter(QWidget *parent)
    : SecondaryWindow(QStringLiteral("Quillon - фильтр"), QSize(392, 273), parent) {
  setObjectName(QStringLiteral("frmFilter"));
  setFixedDialogBorder();
  move(289, 125);
}

} // namespace quillon::forms
