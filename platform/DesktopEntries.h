#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace quillon::platform {

// The program a desktop entry's Exec line starts: its first word with the
// entry format's quoting removed, past an "env" and its VAR=value settings.
QString programOfExecLine(const QString &exec);

// The desktop's application entries, read once: the program each one
// starts and its Icon value, in the folders' order.
class DesktopEntryIcons {
public:
  explicit DesktopEntryIcons(const QStringList &applicationFolders);

  // The Icon value of the first entry whose command names `programPath`:
  // by its full path, or by its file name when the command gives a bare
  // name. Empty when no entry names it.
  QString iconFor(const QString &programPath) const;

private:
  struct Entry {
    QString program;
    QString icon;
  };
  std::vector<Entry> entries_;
};

// The folders that hold the desktop's application entries, the user's own
// first.
QStringList applicationFolders();

} // namespace quillon::platform
