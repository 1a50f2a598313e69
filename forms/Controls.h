#pragma once

#include <QLabel>
#include <QPushButton>

class QAction;
class QFrame;

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

// A sunken horizontal line filling `place`.
QFrame *makeLine(QWidget *parent, const char *name, QRect place);

// The default UI font at `pixels` pixels; `family`, when given, with a
// typewriter fallback.
QFont pixelFont(int pixels, bool bold = false, const QString &family = QString());

// What of its command a button shows.
enum class Face { Caption, Picture, CaptionAndPicture };

// Binds a button to its command: it shows the command's caption, picture
// and enabled state, and a click runs the command. A checkable button has
// already flipped its own pressed state when the command runs.
void bindToCommand(QPushButton *button, QAction *command, Face face);

} // namespace quillon::forms
