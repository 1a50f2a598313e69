#pragma once

#include <QString>
#include <QStringList>

namespace quillon::platform {

// The program a desktop entry's Exec line starts: its first word with the
// entry format's quoting removed, past an "env" and its VAR=value settings.
QString programOfExecLine(const QString &exec);

// The Icon value of the first application entry, in the folders' order,
// whose command names `programPath`: by its full path, or by its file name
// when the command gives a bare name. Empty when no entry names it.
QString desktopEntryIcon(const QString &programPath, const QStringList &applicationFolders);

// The folders that hold the desktop's application entries, the user's own
// first.
QStringList applicationFolders();

} // namespace quillon::platform
