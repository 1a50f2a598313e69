#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quillon::data {

// The data-link file db.udl: UTF-16LE with a byte-order mark, "[oledb]", a
// comment line and one OLE DB initialization string.

// The built-in default content, byte for byte; empty when the resource is
// missing from the program.
QByteArray defaultDataLinkContent();

// `dir` + "/db.udl".
QString dataLinkPathIn(const QString &dir);

// The user's configuration folder for db.udl (~/.config/Tarnwick/Quillon,
// following XDG_CONFIG_HOME).
QString userDataLinkDir();

// Where db.udl lives: beside the executable when it is there or that folder
// can be written (a portable folder), else in the user's configuration
// folder, which is created when needed. When neither can be written, the
// path beside the executable, whose creation will then fail. An installed
// program (see platform::installedDataDir) always uses the configuration
// folder.
QString locateDataLinkFile(const QString &executableDir, const QString &configDir);

// Creates `path` with the default content when no file of that name exists;
// an existing file is never touched, whatever it holds. False, with a
// message naming the path and the reason, when the default content is
// missing or the file cannot be created or written.
bool ensureDataLinkFile(const QString &path, QString *error);

// The file's bytes as UTF-16LE code units, one per two bytes: the
// byte-order mark stays as the first character, an odd last byte is
// dropped, nothing is validated.
QString decodeDataLinkText(const QByteArray &bytes);

// Opens `path` for this process alone and decodes it; nullopt when it
// cannot be opened or read.
std::optional<QString> readDataLinkText(const QString &path);

// The value of `key` (written with its '=', e.g. "User ID=") in a
// data-link text: the characters after the key's first case-sensitive
// occurrence up to the next ';' or CR or the end. Quotes are not
// interpreted; empty when the key is absent or empty.
QString GetConnectionParam(const QString &text, const QString &key);

// The initialization string of a data-link text: its first line that is
// not "[oledb]", a ';' comment or blank. Empty when there is none.
QString initStringOf(const QString &dataLinkText);

// A whole data-link file for `initString`: the byte-order mark, then
// "[oledb]", the comment line and the string, each ending in CR LF, all in
// UTF-16LE. For the default string this is defaultDataLinkContent().
QByteArray encodeDataLinkFile(const QString &initString);

// Creates `path` holding encodeDataLinkFile(initString); anything of that
// name is never touched. False, with a message naming the path and the
// reason, when something has the name or the file cannot be written whole
// (nothing is then left behind).
bool createDataLinkFile(const QString &path, const QString &initString, QString *error);

// Replaces `path` with encodeDataLinkFile(initString), atomically: the old
// file stays as it was unless the new one was written completely. False,
// with a message naming the path and the reason, when it cannot be written
// or `initString` holds a line break (the file keeps it on one line).
bool writeDataLinkFile(const QString &path, const QString &initString, QString *error);

} // namespace quillon::data
