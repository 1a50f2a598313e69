#include "forms/SecondaryWindow.h"

#include <QCloseEvent>

namespace quillon::forms {

QFont uiFont() {
  QFont font;
  font.setPointSize(8);
  return font;
}

SecondaryWindow::SecondaryWindow(const QString &caption, QSize clientSize, QWidget *parent)
    : QDialog(parent) {
  setWindowTitle(caption);
  setFont(uiFont());
  resize(clientSize);
}

void SecondaryWindow::setFixedDialogBorder() {
  setFixedSize(size());
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint);
}

void SecondaryWindow::closeEvent(QCloseEvent *event) {
  event->accept();
  emit closedByUser();
}

} // namespace quillon::forms
