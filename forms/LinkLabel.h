#pragma once

#include <QLabel>

namespace quillon::forms {

// A label that looks like a link, blue and underlined in its own font, and
// reports a click of the left button.
class LinkLabel : public QLabel {
  Q_OBJECT
public:
  explicit LinkLabel(const QString &text, QWidget *parent = nullptr);

signals:
  void clicked();

protected:
  void mouseReleaseEvent(QMouseEvent *event) override;
};

} // namespace quillon::forms
