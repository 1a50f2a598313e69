// db.udl: its default content, creation, location, decoding and the key
// lookup the main window's banner relies on.
#include "data/DataLink.h"

#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace quillon::data;
using quillon::test::ScratchDir;

// Failed comparisons print the text, not the object's bytes.
static void PrintTo(const QString &s, std::ostream *os) {
  *os << '"' << s.toStdString() << '"';
}

namespace {

std::string text(const QString &s) {
  return s.toStdString();
}

// Code units spelled out, so unpaired surrogates and controls are visible.
std::string units(const QString &s) {
  std::string out;
  for (QChar c : s) {
    const ushort u = c.unicode();
    if (u >= 0x20 && u < 0x7F)
      out += char(u);
    else
      out += QStringLiteral("<%1>").arg(u, 4, 16, QLatin1Char('0')).toStdString();
  }
  return out;
}

std::string hex(const QByteArray &bytes) {
  return bytes.toHex(' ').toStdString();
}

QByteArray utf16le(const QString &s) {
  QByteArray bytes;
  for (QChar c : s) {
    bytes += char(c.unicode() & 0xFF);
    bytes += char(c.unicode() >> 8);
  }
  return bytes;
}

const QString kInitString = QStringLiteral(
    "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;User ID=freight");

QString defaultText() {
  return QChar(0xFEFF) +
         QStringLiteral("[oledb]\r\n; Everything after this line is an OLE DB "
                        "initstring\r\n") +
         kInitString + QStringLiteral("\r\n");
}

void writeFile(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << text(path);
  ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << text(path);
  return file.readAll();
}

// A regular file stands in as a parent folder: nothing, not even root, can
// create anything below it.
QString underAFile(const ScratchDir &dir, const QString &rest) {
  const QString blocker = dir.file(QStringLiteral("plain-file"));
  if (!QFileInfo::exists(blocker))
    writeFile(blocker, "not a folder");
  return blocker + QLatin1Char('/') + rest;
}

TEST(DefaultDataLinkContent, IsTheBuiltInFileByteForByte) {
  const QByteArray expected = QByteArray("\xFF\xFE", 2) + utf16le(defaultText().mid(1));
  ASSERT_EQ(expected.size(), 308);
  const QByteArray actual = defaultDataLinkContent();
  EXPECT_EQ(actual.size(), 308);
  EXPECT_EQ(actual, expected) << "actual:   " << hex(actual) << "\nexpected: " << hex(expected);
}

TEST(DataLinkPath, IsDbUdlInTheFolder) {
  EXPECT_EQ(dataLinkPathIn(QStringLiteral("/opt/quillon")), QStringLiteral("/opt/quillon/db.udl"));
}

TEST(EnsureDataLinkFile, CreatesAMissingFileWithTheDefaultBytesOnly) {
  ScratchDir dir;
  const QString path = dataLinkPathIn(dir.path());
  QString error;
  ASSERT_TRUE(ensureDataLinkFile(path, &error)) << text(error);
  EXPECT_TRUE(error.isEmpty());
  const QByteArray written = readFile(path);
  EXPECT_EQ(written, defaultDataLinkContent())
      << "written: " << hex(written) << "\ndefault: " << hex(defaultDataLinkContent());
  // No temporary file is left beside it.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("db.udl")});
}

TEST(EnsureDataLinkFile, NeverTouchesAnExistingFile) {
  const struct {
    const char *name;
    QByteArray bytes;
  } cases[] = {
      {"empty", QByteArray()},
      {"damaged", QByteArray("\xFF\xFE[\0o\0l", 7)},
      {"eight-bit", QByteArray("[oledb]\r\n; comment\r\nProvider=SQLite;Data Source=x.db\r\n")},
      {"another valid file",
       QByteArray("\xFF\xFE", 2) +
           utf16le(QStringLiteral("[oledb]\r\n; c\r\nProvider=SQLite;Data Source=docs.db\r\n"))},
  };
  const QDateTime past = QDateTime::fromSecsSinceEpoch(1'000'000'000);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const QString path = dataLinkPathIn(dir.path());
    writeFile(path, c.bytes);
    {
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::ReadWrite));
      ASSERT_TRUE(file.setFileTime(past, QFileDevice::FileModificationTime));
    }
    QString error;
    EXPECT_TRUE(ensureDataLinkFile(path, &error)) << text(error);
    EXPECT_EQ(readFile(path), c.bytes);
    EXPECT_EQ(QFileInfo(path).lastModified(), past);
  }
}

TEST(EnsureDataLinkFile, ReportsWhatCannotBeCreated) {
  ScratchDir dir;
  const struct {
    const char *name;
    QString path;
  } cases[] = {
      {"parent is a file", underAFile(dir, QStringLiteral("db.udl"))},
      {"parent is missing", dir.file(QStringLiteral("missing/db.udl"))},
      {"a folder has the name", dir.file(QStringLiteral("folder/db.udl"))},
  };
  ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("folder/db.udl"))));
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    QString error;
    EXPECT_FALSE(ensureDataLinkFile(c.path, &error));
    EXPECT_TRUE(error.contains(c.path)) << text(error);
    EXPECT_GT(error.size(), c.path.size() + 20) << "no reason given: " << text(error);
    EXPECT_FALSE(QFileInfo(c.path).isFile());
  }
  EXPECT_TRUE(QFileInfo(dir.file(QStringLiteral("folder/db.udl"))).isDir());
}

TEST(LocateDataLinkFile, PrefersTheExecutableFolderThenTheConfigFolder) {
  enum class Expect { Executable, Config };
  const struct {
    const char *name;
    bool exeUsable;  // the executable's folder exists and can be written
    bool exeHasFile; // it already holds db.udl
    bool configUsable;
    bool configHasFile;
    Expect expect;
  } cases[] = {
      {"file beside the executable", true, true, true, true, Expect::Executable},
      {"writable executable folder", true, false, true, true, Expect::Executable},
      {"read-only executable folder, config folder to create", false, false, true, false,
       Expect::Config},
      {"read-only executable folder, file in config folder", false, false, true, true,
       Expect::Config},
      {"neither can be written", false, false, false, false, Expect::Executable},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const QString exeDir =
        c.exeUsable ? dir.file(QStringLiteral("bin")) : underAFile(dir, QStringLiteral("bin"));
    const QString configDir = c.configUsable ? dir.file(QStringLiteral("config/Tarnwick/Quillon"))
                                             : underAFile(dir, QStringLiteral("config"));
    if (c.exeUsable) {
      ASSERT_TRUE(QDir().mkpath(exeDir));
    }
    if (c.exeHasFile)
      writeFile(dataLinkPathIn(exeDir), "x");
    if (c.configHasFile) {
      ASSERT_TRUE(QDir().mkpath(configDir));
      writeFile(dataLinkPathIn(configDir), "x");
    }
    const QString chosen = locateDataLinkFile(exeDir, configDir);
    EXPECT_EQ(text(chosen),
              text(dataLinkPathIn(c.expect == Expect::Executable ? exeDir : configDir)));
    if (c.expect == Expect::Config) {
      EXPECT_TRUE(QFileInfo(configDir).isDir());
      QString error;
      EXPECT_TRUE(ensureDataLinkFile(chosen, &error)) << text(error);
    }
  }
}

// An installed program keeps db.udl in the user's folder even where it may
// write its own (root), and even where a stray db.udl lies beside it.
TEST(LocateDataLinkFile, InstalledProgramUsesTheConfigFolder) {
  ScratchDir dir;
  const QString exeDir = dir.file(QStringLiteral("usr/bin"));
  const QString configDir = dir.file(QStringLiteral("config/Tarnwick/Quillon"));
  ASSERT_TRUE(QDir().mkpath(exeDir));
  writeFile(dataLinkPathIn(exeDir), "x");
  EXPECT_EQ(locateDataLinkFile(exeDir, configDir), dataLinkPathIn(exeDir)) << "portable";

  ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("usr/share/quillon"))));
  EXPECT_EQ(locateDataLinkFile(exeDir, configDir), dataLinkPathIn(configDir));
  EXPECT_TRUE(QFileInfo(configDir).isDir());
  // A share folder beside a folder not named bin makes no installation.
  const QString other = dir.file(QStringLiteral("usr/tools"));
  ASSERT_TRUE(QDir().mkpath(other));
  EXPECT_EQ(locateDataLinkFile(other, configDir), dataLinkPathIn(other));
}

TEST(LocateDataLinkFile, HonoursAReadOnlyExecutableFolder) {
  QUILLON_REQUIRE_BINDING_PERMISSIONS();
  ScratchDir dir;
  const QString exeDir = dir.file(QStringLiteral("bin"));
  const QString configDir = dir.file(QStringLiteral("config"));
  const auto readOnly = [&](bool on) {
    ASSERT_TRUE(QFile::setPermissions(exeDir, QFile::ReadOwner | QFile::ExeOwner |
                                                  (on ? QFile::Permissions() : QFile::WriteOwner)));
  };
  ASSERT_TRUE(QDir().mkpath(exeDir));
  writeFile(dataLinkPathIn(exeDir), "x");
  readOnly(true);
  EXPECT_EQ(locateDataLinkFile(exeDir, configDir), dataLinkPathIn(exeDir)) << "file kept";
  readOnly(false);
  ASSERT_TRUE(QFile::remove(dataLinkPathIn(exeDir)));
  readOnly(true);
  EXPECT_EQ(locateDataLinkFile(exeDir, configDir), dataLinkPathIn(configDir)) << "no file";
  readOnly(false);
}

TEST(UserDataLinkDir, FollowsXdgConfigHome) {
  ScratchDir dir;
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
  const QString chosen = userDataLinkDir();
  if (wasSet)
    qputenv("XDG_CONFIG_HOME", saved);
  else
    qunsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(text(chosen), text(dir.path() + QStringLiteral("/Tarnwick/Quillon")));
}

TEST(DecodeDataLinkText, IsOneCodeUnitPerTwoBytes) {
  const struct {
    const char *name;
    QByteArray bytes;
    QString expected;
  } cases[] = {
      {"empty", QByteArray(), QString()},
      {"one byte", QByteArray("\xFF", 1), QString()},
      {"byte-order mark kept", QByteArray("\xFF\xFE", 2), QString(QChar(0xFEFF))},
      {"odd last byte dropped",
       QByteArray("\xFF\xFE"
                  "A\0"
                  "B",
                  5),
       QString(QChar(0xFEFF)) + QLatin1Char('A')},
      {"no mark needed", QByteArray("A\0=\0", 4), QStringLiteral("A=")},
      {"zero unit kept", QByteArray("\0\0A\0", 4), QString(QChar(0)) + QLatin1Char('A')},
      {"Cyrillic", QByteArray("\x1F\x04", 2), QString(QChar(0x041F))},
      {"unpaired surrogate kept",
       QByteArray("\x00\xD8"
                  "A\0",
                  4),
       QString(QChar(0xD800)) + QLatin1Char('A')},
      {"eight-bit text pairs up", QByteArray("ab"), QString(QChar(0x6261))},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const QString actual = decodeDataLinkText(c.bytes);
    EXPECT_EQ(actual.size(), c.bytes.size() / 2);
    EXPECT_EQ(units(actual), units(c.expected));
  }
  EXPECT_EQ(units(decodeDataLinkText(defaultDataLinkContent())), units(defaultText()));
}

TEST(ReadDataLinkText, ReadsTheWholeFileOrNothing) {
  ScratchDir dir;
  const QString path = dataLinkPathIn(dir.path());
  EXPECT_FALSE(readDataLinkText(path).has_value()) << "missing file";
  EXPECT_FALSE(readDataLinkText(dir.path()).has_value()) << "a folder";

  QString error;
  ASSERT_TRUE(ensureDataLinkFile(path, &error)) << text(error);
  const std::optional<QString> read = readDataLinkText(path);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(units(*read), units(defaultText()));

  // Another program holding the file makes it unreadable.
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(readDataLinkText(path).has_value()) << "held by another program";
  ::close(fd);
  EXPECT_TRUE(readDataLinkText(path).has_value()) << "released";

  writeFile(path, QByteArray());
  const std::optional<QString> empty = readDataLinkText(path);
  ASSERT_TRUE(empty.has_value()) << "empty file";
  EXPECT_TRUE(empty->isEmpty());
}

TEST(GetConnectionParam, TakesTheTextUpToSemicolonOrCarriageReturn) {
  const QString standard = defaultText();
  const QString lfOnly = QChar(0xFEFF) + QStringLiteral("[oledb]\n; comment\nProvider=SQLite;User "
                                                        "ID=bob\nData Source=x.db\n");
  const struct {
    const char *name;
    QString text;
    QString key;
    QString expected;
  } cases[] = {
      {"default user", standard, QStringLiteral("User ID="), QStringLiteral("freight")},
      {"default names no server", standard, QStringLiteral("Data Source="), QString()},
      {"other letter case not found", standard, QStringLiteral("user id="), QString()},
      {"value ends at ';'", standard, QStringLiteral("Provider="), QStringLiteral("SQLOLEDB.1")},
      {"last value ends at CR", QStringLiteral("a=1;b=2\r\nc=3"), QStringLiteral("b="),
       QStringLiteral("2")},
      {"CR without LF ends it too", QStringLiteral("b=2\rc=3"), QStringLiteral("b="),
       QStringLiteral("2")},
      {"runs to the end of the text", QStringLiteral("a=1;User ID=sa"), QStringLiteral("User ID="),
       QStringLiteral("sa")},
      {"LF is no line end", lfOnly, QStringLiteral("User ID="),
       QStringLiteral("bob\nData Source=x.db\n")},
      {"LF-only last value runs to the end", lfOnly, QStringLiteral("Data Source="),
       QStringLiteral("x.db\n")},
      {"found inside a longer key", standard, QStringLiteral("ID="), QStringLiteral("freight")},
      {"found inside another value", QStringLiteral("Data Source=User ID=x;User ID=y"),
       QStringLiteral("User ID="), QStringLiteral("x")},
      {"first occurrence wins", QStringLiteral("User ID=a;User ID=b"), QStringLiteral("User ID="),
       QStringLiteral("a")},
      {"quotes not interpreted", QStringLiteral("Password=\"a;b\";x=1"),
       QStringLiteral("Password="), QStringLiteral("\"a")},
      {"blanks kept", QStringLiteral("User ID= sa ;x"), QStringLiteral("User ID="),
       QStringLiteral(" sa ")},
      {"empty value", QStringLiteral("User ID=;x=1"), QStringLiteral("User ID="), QString()},
      {"key at the very end", QStringLiteral("x=1;User ID="), QStringLiteral("User ID="),
       QString()},
      {"empty key", standard, QString(), QString()},
      {"empty text", QString(), QStringLiteral("User ID="), QString()},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(units(GetConnectionParam(c.text, c.key)), units(c.expected));
  }
}

TEST(GetConnectionParam, AnEightBitFileYieldsNoKeys) {
  ScratchDir dir;
  const QString path = dataLinkPathIn(dir.path());
  // Both alignments of the keys against the byte pairs.
  for (const QByteArray &prefix : {QByteArray(), QByteArray("x")}) {
    writeFile(path, prefix + "[oledb]\r\n; Everything after this line is an OLE DB "
                             "initstring\r\nProvider=SQLOLEDB.1;User ID=freight;Data "
                             "Source=srv\r\n");
    const std::optional<QString> read = readDataLinkText(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(GetConnectionParam(*read, QStringLiteral("User ID=")), QString());
    EXPECT_EQ(GetConnectionParam(*read, QStringLiteral("Data Source=")), QString());
  }
}

TEST(InitStringOf, IsTheFirstLineAfterHeaderAndComments) {
  const QString bom(QChar(0xFEFF));
  const struct {
    const char *name;
    QString text;
    QString expected;
  } cases[] = {
      {"default file", defaultText(), kInitString},
      {"LF line ends", bom + QStringLiteral("[oledb]\n; c\nProvider=SQLite;Data Source=a.db\n"),
       QStringLiteral("Provider=SQLite;Data Source=a.db")},
      {"CR line ends", bom + QStringLiteral("[oledb]\r; c\rProvider=SQLite\r"),
       QStringLiteral("Provider=SQLite")},
      {"no mark, no line end", QStringLiteral("[oledb]\r\nProvider=SQLite"),
       QStringLiteral("Provider=SQLite")},
      {"header in other case, blank and indented lines",
       bom + QStringLiteral("\r\n [OLEDB] \r\n\r\n  ; c\r\n\t\r\n  Provider=SQLite  \r\nx=1\r\n"),
       QStringLiteral("Provider=SQLite")},
      {"only the first such line", bom + QStringLiteral("a=1\r\nb=2\r\n"), QStringLiteral("a=1")},
      {"nothing but header and comment", bom + QStringLiteral("[oledb]\r\n; c\r\n"), QString()},
      {"empty file", QString(), QString()},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(units(initStringOf(c.text)), units(c.expected));
  }
}

} // namespace

namespace {

TEST(EncodeDataLinkFile, TheDefaultStringGivesTheDefaultFile) {
  const QByteArray encoded = encodeDataLinkFile(kInitString);
  EXPECT_EQ(encoded, defaultDataLinkContent())
      << "encoded: " << hex(encoded) << "\ndefault: " << hex(defaultDataLinkContent());
}

TEST(EncodeDataLinkFile, IsMarkHeaderAndOneLineInUtf16le) {
  const QString header =
      QStringLiteral("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n");
  const struct {
    const char *name;
    QString initString;
  } cases[] = {
      {"empty", QString()},
      {"SQLite", QStringLiteral("Provider=SQLite;Data Source=docs.db")},
      {"Cyrillic", QStringLiteral("Provider=SQLite;Data Source=Документы.db")},
      {"outside the BMP", QStringLiteral("Password=\U0001F511")},
      {"quoted", QStringLiteral("Password=\"a;b\"\"c\"")},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray encoded = encodeDataLinkFile(c.initString);
    const QByteArray expected =
        QByteArray("\xFF\xFE", 2) + utf16le(header + c.initString + QStringLiteral("\r\n"));
    EXPECT_EQ(encoded, expected) << "encoded:  " << hex(encoded) << "\nexpected: " << hex(expected);
    EXPECT_EQ(units(initStringOf(decodeDataLinkText(encoded))), units(c.initString));
  }
  // A character outside the BMP is a surrogate pair, low byte first.
  EXPECT_TRUE(
      encodeDataLinkFile(QStringLiteral("\U0001F511")).contains(QByteArray("\x3D\xD8\x11\xDD", 4)));
}

TEST(WriteDataLinkFile, CreatesOrReplacesTheFileWithTheEncodedBytes) {
  ScratchDir dir;
  const QString path = dataLinkPathIn(dir.path());
  const QString first = QStringLiteral("Provider=SQLite;Data Source=a.db");
  const QString second = QStringLiteral("Provider=SQLOLEDB.1;Data Source=db1;Initial Catalog=Docs");

  QString error;
  ASSERT_TRUE(writeDataLinkFile(path, first, &error)) << text(error);
  EXPECT_EQ(readFile(path), encodeDataLinkFile(first));

  ASSERT_TRUE(writeDataLinkFile(path, second, &error)) << text(error);
  const QByteArray written = readFile(path);
  EXPECT_EQ(written, encodeDataLinkFile(second)) << hex(written);
  const std::optional<QString> read = readDataLinkText(path);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(text(initStringOf(*read)), text(second));
  EXPECT_EQ(text(GetConnectionParam(*read, QStringLiteral("Initial Catalog="))), "Docs");
  // The temporary file is gone.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("db.udl")});
}

TEST(WriteDataLinkFile, ReportsFailuresAndKeepsTheOldFile) {
  ScratchDir dir;
  ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("folder/db.udl"))));
  const QString existing = dataLinkPathIn(dir.path());
  writeFile(existing, defaultDataLinkContent());
  const struct {
    const char *name;
    QString path;
    QString initString;
  } cases[] = {
      {"parent is a file", underAFile(dir, QStringLiteral("db.udl")), kInitString},
      {"parent is missing", dir.file(QStringLiteral("missing/db.udl")), kInitString},
      {"a folder has the name", dir.file(QStringLiteral("folder/db.udl")), kInitString},
      {"line feed in the string", existing, QStringLiteral("Provider=SQLite;Data Source=a\n.db")},
      {"carriage return in the string", existing, QStringLiteral("Provider=SQLite\r;x=1")},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    QString error;
    EXPECT_FALSE(writeDataLinkFile(c.path, c.initString, &error));
    EXPECT_TRUE(error.contains(c.path)) << text(error);
    EXPECT_GT(error.size(), c.path.size() + 20) << "no reason given: " << text(error);
  }
  EXPECT_EQ(readFile(existing), defaultDataLinkContent());
  EXPECT_TRUE(QFileInfo(dir.file(QStringLiteral("folder/db.udl"))).isDir());
  EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("missing"))));
}

TEST(WriteDataLinkFile, ReadOnlyFolderKeepsTheOldFile) {
  QUILLON_REQUIRE_BINDING_PERMISSIONS();
  ScratchDir dir;
  const QString folder = dir.file(QStringLiteral("bin"));
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString path = dataLinkPathIn(folder);
  writeFile(path, defaultDataLinkContent());
  ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
  QString error;
  const bool written =
      writeDataLinkFile(path, QStringLiteral("Provider=SQLite;Data Source=a.db"), &error);
  ASSERT_TRUE(
      QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  EXPECT_FALSE(written);
  EXPECT_TRUE(error.contains(path)) << text(error);
  EXPECT_EQ(readFile(path), defaultDataLinkContent());
  EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("db.udl")});
}

} // namespace
