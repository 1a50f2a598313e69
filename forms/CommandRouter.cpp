#include "forms/CommandRouter.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>

namespace quillon::forms {

namespace {

QKeySequence sequenceOf(const QKeyEvent *event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  return QKeySequence(QKeyCombination(modifiers, Qt::Key(event->key())));
}

QAction *firstWithKey(const QList<QAction *> &actions, const QKeySequence &key) {
  for (QAction *action : actions)
    if (!action->isSeparator() && !action->shortcut().isEmpty() && action->shortcut() == key)
      return action;
  return nullptr;
}

} // namespace

void runCommand(QAction *command) {
  if (command && command->isEnabled())
    command->trigger();
}

CommandRouter::CommandRouter(QWidget *mainWindow, QList<QAction *> commands, QObject *parent)
    : QObject(parent), mainWindow_(mainWindow), commands_(std::move(commands)) {
  qApp->installEventFilter(this);
}

CommandRouter::~CommandRouter() {
  if (qApp)
    qApp->removeEventFilter(this);
}

void CommandRouter::addContextMenu(QWidget *owner, QMenu *menu) {
  contextMenus_.append({owner, menu});
}

void CommandRouter::addWindow(QWidget *window) {
  windows_.append(window);
}

bool CommandRouter::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
    return false;
  return route(static_cast<QWidget *>(watched), static_cast<QKeyEvent *>(event));
}

bool CommandRouter::route(QWidget *receiver, QKeyEvent *event) {
  if (!mainWindow_ || event->key() == Qt::Key_unknown)
    return false;
  QWidget *window = receiver->window();
  const bool inMainWindow = window == mainWindow_;
  if (!inMainWindow && !windows_.contains(window))
    return false;
  // While a modal window runs, neither the main window nor the viewer take
  // input, so no command key may reach them.
  if (QApplication::activeModalWidget() || !mainWindow_->isEnabled())
    return false;

  const QKeySequence key = sequenceOf(event);
  if (inMainWindow) {
    for (const auto &[owner, menu] : contextMenus_) {
      if (!owner || !menu || !(owner == receiver || owner->isAncestorOf(receiver)))
        continue;
      if (QAction *item = firstWithKey(menu->actions(), key)) {
        runCommand(item);
        return true;
      }
    }
  }
  QAction *command = firstWithKey(commands_, key);
  if (!command || !command->isEnabled())
    return false;
  command->trigger();
  return true;
}

} // namespace quillon::forms
