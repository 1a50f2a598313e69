#pragma once

#include <QLabel>
#include <QPushButton>

namespace quillon::forms {

// A label at its natural size with its top left corner at `place`.
inline QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, QPoint place) {
  auto *label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->move(place);
  label->adjustSize();
  return label;
}

// A push button that Enter presses only where it is made the default.
inline QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption,
                               QRect place) {
  auto *button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  button->setGeometry(place);
  button->setAutoDefault(false);
  return button;
}

} // namespace quillon::forms
