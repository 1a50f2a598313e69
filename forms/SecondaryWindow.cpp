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

bool SecondaryWindow::runEnding_ = false;

void SecondaryWindow::runEnds(bool ending) {
  runEnding_ = ending;
}

void SecondaryWindow::closeEvent(QCloseEvent *event) {
  event->accept();
  if (!runEnding_)
    emit closedByUser();
}

} // namespace quillon::forms
