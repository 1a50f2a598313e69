#pragma once

#include <QDialog>
#include <QFont>

namespace quillon::forms {

// The windows' font: the desktop's sans-serif UI font at 8 points.
QFont uiFont();

// A window that lives from start-up to exit: closing it only hides it, so
// everything it holds lasts for the run.
class SecondaryWindow : public QDialog {
  Q_OBJECT
public:
  SecondaryWindow(const QString &caption, QSize clientSize, QWidget *parent = nullptr);

  // A fixed dialog border: no resizing, no minimise or maximise box.
  void setFixedDialogBorder();

  // From the main window's close on, the run is ending: the windows Qt
  // closes on its way out were not closed by the user.
  static void runEnds(bool ending = true);

signals:
  // The user closed the window with its close box (or Alt+F4).
  void closedByUser();

protected:
  void closeEvent(QCloseEvent *event) override;

private:
  static bool runEnding_;
};

} // namespace quillon::forms
