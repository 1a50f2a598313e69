#include "platform/InstallLayout.h"

#include <QDir>
#include <QFileInfo>

namespace quillon::platform {

QString installedDataDir(const QString &executableDir) {
  const QFileInfo bin(executableDir);
  if (bin.fileName() != QLatin1String("bin"))
    return {};
  const QString shared =
      QDir::cleanPath(bin.absoluteFilePath() + QStringLiteral("/../share/quillon"));
  return QFileInfo(shared).isDir() ? shared : QString();
}

} // namespace quillon::platform
