#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quillon::settings {

class RegistryStore;

// The external programs as stored in the program's key.
struct StoredProgramList {
  // Full paths in the order they were added.
  QStringList paths;
  // The chosen entry's position in the picker sorted by file name; -1 for
  // none. It may lie beyond the picker, which then selects nothing.
  int selectedIndex = -1;

  friend bool operator==(const StoredProgramList &, const StoredProgramList &) = default;
};

// Every path followed by CR LF; the empty text for no paths. A path holding
// a line break would come back as two, so callers keep such paths out.
QString joinProgramPaths(const QStringList &paths);

// The paths of a stored text: a line ends at CR LF, a lone CR or a lone LF,
// and the break after the last line makes no extra line. Empty lines are
// left out, as no program has an empty path.
QStringList splitProgramPaths(const QString &text);

// The stored position as decimal text.
QString formatProgramIndex(int index);

// A stored position: decimal digits with an optional sign in the 32-bit
// range; anything else, and any negative number, means none (-1).
int parseProgramIndex(const QString &text);

// What loading found, and the store's message when a value could not be
// read: a bad Programs leaves the list empty and nothing selected, a bad
// ProgramIndex keeps the list with nothing selected.
struct LoadedProgramList {
  StoredProgramList programs;
  std::optional<QString> error;
};

LoadedProgramList loadProgramList(RegistryStore &store);

// Writes Programs, then ProgramIndex; stops at the first value that cannot
// be written and throws SettingsError.
void saveProgramList(RegistryStore &store, const StoredProgramList &programs);

} // namespace quillon::settings
