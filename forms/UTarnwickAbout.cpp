#include "forms/UTarnwickAbout.h"

namespace quillon::forms {

TfrmAbout::TfrmAbout(QWidget *parent)
    : SecondaryWindow(QStringLiteral("О программе"), QSize(409, 233), parent) {
  setObjectName(QStringLiteral("frmAbout"));
  setFixedDialogBorder();
}

} // namespace quillon::forms
