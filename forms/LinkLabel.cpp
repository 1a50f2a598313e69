#include "forms/LinkLabel.h"

#include <QMouseEvent>

namespace quillon::forms {

LinkLabel::LinkLabel(const QString &text, QWidget *parent) : QLabel(text, parent) {
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, Qt::blue);
  setPalette(colours);
  setForegroundRole(QPalette::WindowText);
  setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    emit clicked();
}

} // namespace quillon::forms
