#include "forms/uSettings.h"

#include <QLineEdit>

namespace quillon::forms {

TfrmSettings::TfrmSettings(QWidget *parent)
    : SecondaryWindow(QStringLiteral("Quillon - Настройки"), QSize(392, 170), parent) {
  setObjectName(QStringLiteral("frmSettings"));
  setFixedDialogBorder();
  dirDefaultDir = new QLineEdit(this);
  dirDefaultDir->setObjectName(QStringLiteral("dirDefaultDir"));
  dirDefaultDir->setGeometry(8, 96, 377, 23);
}

} // namespace quillon::forms
