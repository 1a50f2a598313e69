#include "forms/HelpFile.h"

#include "platform/ShellRequest.h"

#include <QWidget>

namespace quillon::forms {

void openHelpFile(const QWidget *owner) {
  // Relative on purpose: the guide is looked for where the program runs.
  platform::shellExecute(
      {owner, QStringLiteral("Readme.txt"), QString(), platform::ShowCommand::Normal});
}

} // namespace quillon::forms
