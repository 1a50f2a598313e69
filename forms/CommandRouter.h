#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QKeyEvent;
class QMenu;
class QWidget;

namespace quillon::forms {

// Runs a command the way every control, menu item and key does: a disabled
// command does nothing.
void runCommand(QAction *command);

// Routes command keys: a key pressed in the main window goes first to the
// context menus of the focused control and its parents (they take their
// items' keys even while disabled), then to the main window's command list,
// where the first command with that key is taken. A key pressed in another
// window of the program goes to the command list too, but only while no
// modal window is open. An enabled command runs and takes the key; a
// disabled one leaves the key to the focused control.
class CommandRouter : public QObject {
  Q_OBJECT
public:
  CommandRouter(QWidget *mainWindow, QList<QAction *> commands, QObject *parent = nullptr);
  ~CommandRouter() override;

  void addContextMenu(QWidget *owner, QMenu *menu);
  // A window whose unclaimed keys also reach the main window's commands.
  void addWindow(QWidget *window);

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  bool route(QWidget *receiver, QKeyEvent *event);

  QPointer<QWidget> mainWindow_;
  QList<QAction *> commands_;
  QList<std::pair<QPointer<QWidget>, QPointer<QMenu>>> contextMenus_;
  QList<QPointer<QWidget>> windows_;
};

} // namespace quillon::forms
