#pragma once

#include <QObject>

class QWidget;

namespace quillon::forms {

// Keeps every modal window of the program above a window that stays on top
// (the viewer): while that window is shown, a modal window opens in the
// same stay-on-top layer, where the newer window lies above. Window managers
// differ in whether a window may leave that layer while shown, so the modal
// window joins it instead.
class ModalWindowsAbove : public QObject {
  Q_OBJECT
public:
  explicit ModalWindowsAbove(QWidget *onTop);

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  QWidget *onTop_;
};

} // namespace quillon::forms
