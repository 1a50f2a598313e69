#include "forms/uOwnWindow.h"

namespace quillon::forms {

TfrmOwnWindow::TfrmOwnWindow(QWidget *parent)
    : SecondaryWindow(QStringLiteral("Quillon - Просмотр"), QSize(400, 300), parent) {
  setObjectName(QStringLiteral("frmOwnWindow"));
  setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint);
  move(621, 414);
}

void TfrmOwnWindow::ClearViewer() {}

} // namespace quillon::forms
