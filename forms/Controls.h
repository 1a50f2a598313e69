#pragma once

#include <QLabel>
#include <QPushButton>

class QAction;

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

// A line sunk into the window along the top or the bottom edge of its
// rectangle.
class EdgeLine : public QWidget {
  Q_OBJECT
public:
  enum class Edge { Top, Bottom };
  EdgeLine(Edge edge, QWidget *parent);

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  Edge edge_;
};

EdgeLine *makeLine(QWidget *parent, const char *name, QRect place, EdgeLine::Edge edge);

// Makes the widget's font smaller, half a point at a time down to 6 points,
// until what it shows fits `width`: the desktop's font may be wider than
// the one the layout was made for.
void shrinkFontToFit(QWidget *widget, int width);

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
