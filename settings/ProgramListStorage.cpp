#include "settings/ProgramListStorage.h"

#include "settings/DecimalText.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsError.h"

namespace quillon::settings {

namespace {

const QString programsName = QStringLiteral("Programs");
const QString programIndexName = QStringLiteral("ProgramIndex");

} // namespace

QString joinProgramPaths(const QStringList &paths) {
  QString text;
  for (const QString &path : paths)
    text += path + QStringLiteral("\r\n");
  return text;
}

QStringList splitProgramPaths(const QString &text) {
  QStringList paths;
  qsizetype start = 0;
  for (qsizetype i = 0; i <= text.size(); ++i) {
    const bool atEnd = i == text.size();
    if (!atEnd && text[i] != u'\r' && text[i] != u'\n')
      continue;
    if (i > start)
      paths.append(text.mid(start, i - start));
    if (!atEnd && text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
      ++i;
    start = i + 1;
  }
  return paths;
}

QString formatProgramIndex(int index) {
  return QString::number(index);
}

int parseProgramIndex(const QString &text) {
  const std::optional<int> index = parseDecimal(text);
  return index && *index >= 0 ? *index : -1;
}

LoadedProgramList loadProgramList(RegistryStore &store) {
  LoadedProgramList loaded;
  const RegistryKey key = store.programKey();
  try {
    loaded.programs.paths = splitProgramPaths(key.readString(programsName).value_or(QString()));
    loaded.programs.selectedIndex =
        parseProgramIndex(key.readString(programIndexName).value_or(QString()));
  } catch (const SettingsError &error) {
    loaded.error = error.message();
  }
  return loaded;
}

void saveProgramList(RegistryStore &store, const StoredProgramList &programs) {
  RegistryKey key = store.programKey();
  key.writeString(programsName, joinProgramPaths(programs.paths));
  key.writeString(programIndexName, formatProgramIndex(programs.selectedIndex));
}

} // namespace quillon::settings
