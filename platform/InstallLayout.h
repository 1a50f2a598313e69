#pragma once

#include <QString>

namespace quillon::platform {

// The folder of an installed program's shared files, <prefix>/share/quillon,
// when the executable lies in <prefix>/bin and that folder exists; empty for
// a portable folder (a build, an unpacked archive).
QString installedDataDir(const QString &executableDir);

} // namespace quillon::platform
