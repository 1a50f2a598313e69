#include "forms/ModalWindowsAbove.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace quillon::forms {

ModalWindowsAbove::ModalWindowsAbove(QWidget *onTop) : QObject(onTop), onTop_(onTop) {
  qApp->installEventFilter(this);
}

bool ModalWindowsAbove::eventFilter(QObject *watched, QEvent *event) {
  // A widget's show comes before the window system maps its window, so the
  // flag reaches the window manager with the window itself. The window's
  // flag is set, not the widget's, which would hide the window again.
  if (event->type() == QEvent::Show && watched->isWidgetType()) {
    auto *window = static_cast<QWidget *>(watched);
    if (window != onTop_ && window->isWindow() && window->isModal())
      if (QWindow *handle = window->windowHandle())
        handle->setFlag(Qt::WindowStaysOnTopHint, onTop_->isVisible());
  }
  return QObject::eventFilter(watched, event);
}

} // namespace quillon::forms
