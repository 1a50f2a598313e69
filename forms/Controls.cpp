#include "forms/Controls.h"

#include "forms/CommandRouter.h"

#include <QAction>
#include <QFrame>

namespace quillon::forms {

QFrame *makeLine(QWidget *parent, const char *name, QRect place) {
  auto *line = new QFrame(parent);
  line->setObjectName(QLatin1String(name));
  line->setGeometry(place);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
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
