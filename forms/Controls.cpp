#include "forms/Controls.h"

#include "forms/CommandRouter.h"

#include <QAction>
#include <QFrame>
#include <QPainter>

namespace quillon::forms {

EdgeLine::EdgeLine(Edge edge, QWidget *parent) : QWidget(parent), edge_(edge) {}

void EdgeLine::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  const int top = edge_ == Edge::Top ? 0 : height() - 2;
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawLine(0, top, width() - 1, top);
  painter.setPen(palette().color(QPalette::Light));
  painter.drawLine(0, top + 1, width() - 1, top + 1);
}

EdgeLine *makeLine(QWidget *parent, const char *name, QRect place, EdgeLine::Edge edge) {
  auto *line = new EdgeLine(edge, parent);
  line->setObjectName(QLatin1String(name));
  line->setGeometry(place);
  return line;
}

void shrinkFontToFit(QWidget *widget, int width) {
  QFont font = widget->font();
  while (widget->sizeHint().width() > width && font.pointSizeF() > 6) {
    font.setPointSizeF(font.pointSizeF() - 0.5);
    widget->setFont(font);
  }
}

QFont pixelFont(int pixels, bool bold, const QString &family) {
  QFont font;
  if (!family.isEmpty()) {
    font.setFamily(family);
    font.setStyleHint(QFont::TypeWriter);
  }
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

void bindToCommand(QPushButton *button, QAction *command, Face face) {
  const auto update = [button, command, face] {
    if (face != Face::Picture)
      button->setText(command->text());
    if (face != Face::Caption)
      button->setIcon(command->icon());
    button->setEnabled(command->isEnabled());
  };
  update();
  QObject::connect(command, &QAction::changed, button, update);
  QObject::connect(button, &QPushButton::clicked, command, [command] { runCommand(command); });
}

} // namespace quillon::forms
