#include "platform/DesktopEntries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace quillon::platform {

namespace {

// The next word of an Exec line from `position` on; quoted words keep their
// blanks and lose the backslash of an escaped character.
QString nextWord(const QString &exec, qsizetype &position) {
  while (position < exec.size() && exec[position].isSpace())
    ++position;
  QString word;
  bool quoted = false;
  for (; position < exec.size(); ++position) {
    const QChar c = exec[position];
    if (quoted) {
      if (c == u'"') {
        quoted = false;
      } else if (c == u'\\' && position + 1 < exec.size()) {
        word += exec[++position];
      } else {
        word += c;
      }
    } else if (c == u'"') {
      quoted = true;
    } else if (c.isSpace()) {
      break;
    } else {
      word += c;
    }
  }
  return word;
}

struct ApplicationEntry {
  QString exec;
  QString icon;
};

// The Exec and Icon keys of the file's [Desktop Entry] group, for entries
// of type Application only.
ApplicationEntry readApplicationEntry(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    return {};
  ApplicationEntry entry;
  bool inMainGroup = false;
  bool application = false;
  while (!file.atEnd()) {
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    if (line.startsWith(u'[')) {
      inMainGroup = line == QLatin1String("[Desktop Entry]");
      continue;
    }
    if (!inMainGroup || line.startsWith(u'#'))
      continue;
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
      continue;
    const QString key = line.left(equals).trimmed();
    const QString value = line.mid(equals + 1).trimmed();
    if (key == QLatin1String("Type"))
      application = value == QLatin1String("Application");
    else if (key == QLatin1String("Exec"))
      entry.exec = value;
    else if (key == QLatin1String("Icon"))
      entry.icon = value;
  }
  return application ? entry : ApplicationEntry{};
}

bool namesProgram(const QString &commandProgram, const QFileInfo &program) {
  if (commandProgram.isEmpty())
    return false;
  if (commandProgram.contains(u'/'))
    return QFileInfo(commandProgram).absoluteFilePath() == program.absoluteFilePath() ||
           (program.exists() &&
            QFileInfo(commandProgram).canonicalFilePath() == program.canonicalFilePath());
  return commandProgram == program.fileName();
}

} // namespace

QString programOfExecLine(const QString &exec) {
  qsizetype position = 0;
  QString word = nextWord(exec, position);
  if (word != QLatin1String("env"))
    return word;
  for (;;) {
    word = nextWord(exec, position);
    if (word == QLatin1String("-u") || word == QLatin1String("--unset"))
      nextWord(exec, position); // the variable it unsets
    else if (!word.contains(u'=') && !word.startsWith(u'-'))
      return word;
  }
}

DesktopEntryIcons::DesktopEntryIcons(const QStringList &folders) {
  for (const QString &folder : folders) {
    const QDir dir(folder);
    const QStringList files =
        dir.entryList({QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QString &name : files) {
      const ApplicationEntry entry = readApplicationEntry(dir.filePath(name));
      if (!entry.icon.isEmpty())
        entries_.push_back({programOfExecLine(entry.exec), entry.icon});
    }
  }
}

QString DesktopEntryIcons::iconFor(const QString &programPath) const {
  const QFileInfo program(programPath);
  for (const Entry &entry : entries_)
    if (namesProgram(entry.program, program))
      return entry.icon;
  return {};
}

QStringList applicationFolders() {
  return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

} // namespace quillon::platform
