#include "forms/uCondition.h"

namespace quillon::forms {

TfrmCondition::TfrmCondition(QWidget *parent)
    : SecondaryWindow(QStringLiteral("Редактирование условия"), QSize(295, 167), parent) {
  setObjectName(QStringLiteral("frmCondition"));
  setFixedDialogBorder();
  move(245, 139);
}

} // namespace quillon::forms
