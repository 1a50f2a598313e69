#include "platform/ApplicationTitle.h"

#include <QFileInfo>

namespace quillon::platform {

QString applicationTitleFor(const QString &executablePath) {
  QString name = QFileInfo(executablePath).fileName();
  name.truncate(name.indexOf(QLatin1Char('.')) < 0 ? name.size() : name.indexOf(QLatin1Char('.')));
  if (name.isEmpty())
    return name;
  return name.left(1).toUpper() + name.mid(1).toLower();
}

} // namespace quillon::platform
