#include "forms/SecondaryWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

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

namespace {
// The frame the window manager gave the last dialog: the best guess for
// the next one before it is framed.
QMargins &lastDialogMargins() {
  static QMargins margins;
  return margins;
}
} // namespace

void SecondaryWindow::setFramePlace(std::function<QPoint(QSize)> place, Showings showings) {
  framePlace_ = std::move(place);
  showings_ = showings;
}

QPoint SecondaryWindow::centredOnScreen(QSize frame) {
  const QScreen *screen = QGuiApplication::primaryScreen();
  if (!screen)
    return {};
  const QRect area = screen->geometry();
  return {area.left() + (area.width() - frame.width()) / 2,
          area.top() + (area.height() - frame.height()) / 2};
}

QMargins SecondaryWindow::frameMarginsNow() const {
  const QWindow *handle = windowHandle();
  const QMargins margins = handle ? handle->frameMargins() : QMargins();
  return margins.isNull() ? lastDialogMargins() : margins;
}

void SecondaryWindow::placeFrame() {
  placedWith_ = frameMarginsNow();
  const QPoint corner = framePlace_(size().grownBy(placedWith_));
  // The client's rectangle: a position that includes the frame is taken for
  // the client's while the window has not been framed.
  setGeometry(QRect(corner + QPoint(placedWith_.left(), placedWith_.top()), size()));
}

void SecondaryWindow::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (framePlace_ && !event->spontaneous() && (showings_ == Showings::Every || !shownBefore_)) {
    placeFrame();
    refitOnPaint_ = true;
  }
  shownBefore_ = true;
}

bool SecondaryWindow::event(QEvent *event) {
  if (event->type() == QEvent::Paint && refitOnPaint_) {
    refitOnPaint_ = false;
    if (const QWindow *handle = windowHandle(); handle && !handle->frameMargins().isNull()) {
      lastDialogMargins() = handle->frameMargins();
      if (handle->frameMargins() != placedWith_)
        placeFrame();
    }
  }
  return QDialog::event(event);
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
