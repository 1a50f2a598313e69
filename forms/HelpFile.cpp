#include "forms/HelpFile.h"

#include "platform/InstallLayout.h"
#include "platform/ShellRequest.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QWidget>

namespace quillon::forms {

void openHelpFile(const QWidget *owner) {
  // Relative on purpose: the guide is looked for where the program runs.
  // An installed program started from the desktop's menu runs in the user's
  // home, so there its installed copy stands in.
  QString file = QStringLiteral("Readme.txt");
  const QString installed = platform::installedDataDir(QCoreApplication::applicationDirPath());
  if (!QFileInfo::exists(file) && !installed.isEmpty() &&
      QFileInfo::exists(installed + QStringLiteral("/Readme.txt")))
    file = installed + QStringLiteral("/Readme.txt");
  platform::shellExecute({owner, file, QString(), platform::ShowCommand::Normal});
}

} // namespace quillon::forms
