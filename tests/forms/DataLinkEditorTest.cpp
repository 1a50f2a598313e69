// The data-link editor window: what it shows of db.udl, what OK writes back,
// and the connection test, against real files and a real SQLite database.
#include "forms/DataLinkEditor.h"

#include "data/Connection.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/DataLink.h"
#include "support/TestBackends.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>

#include <unistd.h>

using quillon::data::DataError;
using quillon::forms::DataLinkEditor;
using quillon::test::Backend;
using quillon::test::ScratchDir;
using quillon::test::serverInitString;
namespace data = quillon::data;
namespace forms = quillon::forms;

static void PrintTo(const QString &s, std::ostream *os) {
  *os << '"' << s.toStdString() << '"';
}

namespace {

const QString kDefaultInit = QStringLiteral(
    "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;User ID=freight");
const QString kDriver18 = QStringLiteral("ODBC Driver 18 for SQL Server");

std::string text(const QString &s) {
  return s.toStdString();
}

std::string hex(const QByteArray &bytes) {
  return bytes.toHex(' ').toStdString();
}

// The file as Windows writes it, spelled out here rather than taken from
// the data layer, so a fault there cannot hide behind itself.
QByteArray expectedFile(const QString &initString) {
  const QString lines = QStringLiteral("[oledb]\r\n; Everything after this line is an OLE DB "
                                       "initstring\r\n") +
                        initString + QStringLiteral("\r\n");
  QByteArray bytes("\xFF\xFE", 2);
  for (const QChar c : lines) {
    bytes += char(c.unicode() & 0xFF);
    bytes += char(c.unicode() >> 8);
  }
  return bytes;
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

// The initialization string the file on disk holds now.
QString initStringOnDisk(const QString &path) {
  const std::optional<QString> read = data::readDataLinkText(path);
  EXPECT_TRUE(read.has_value()) << text(path);
  return read ? data::initStringOf(*read) : QString();
}

template <class T> T *control(const QWidget &parent, const char *name) {
  T *found = parent.findChild<T *>(QLatin1String(name));
  EXPECT_NE(found, nullptr) << "no " << name;
  return found;
}

// The editor's controls by their names; every one must exist.
struct Controls {
  explicit Controls(const DataLinkEditor &editor)
      : provider(control<QComboBox>(editor, "cmbProvider")),
        server(control<QLineEdit>(editor, "edtServer")),
        database(control<QLineEdit>(editor, "edtDatabase")),
        integrated(control<QRadioButton>(editor, "rbIntegrated")),
        userPassword(control<QRadioButton>(editor, "rbUserPassword")),
        user(control<QLineEdit>(editor, "edtUser")),
        password(control<QLineEdit>(editor, "edtPassword")),
        dsn(control<QLineEdit>(editor, "edtDsn")),
        odbcString(control<QLineEdit>(editor, "edtOdbcString")),
        sqliteFile(control<QLineEdit>(editor, "edtSqliteFile")),
        browse(control<QPushButton>(editor, "btnBrowse")),
        test(control<QPushButton>(editor, "btnTest")) {
    if (auto *box = control<QDialogButtonBox>(editor, "buttonBox")) {
      ok = box->button(QDialogButtonBox::Ok);
      cancel = box->button(QDialogButtonBox::Cancel);
    }
  }
  bool complete() const {
    return provider && server && database && integrated && userPassword && user && password &&
           dsn && odbcString && sqliteFile && browse && test && ok && cancel;
  }

  QComboBox *provider;
  QLineEdit *server, *database;
  QRadioButton *integrated, *userPassword;
  QLineEdit *user, *password, *dsn, *odbcString, *sqliteFile;
  QPushButton *browse, *test, *ok = nullptr, *cancel = nullptr;
};

// The box the editor shows without waiting; taken away so the next one is
// found alone.
struct Box {
  bool shown = false;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString caption;
  QString text;
};

Box takeBox(DataLinkEditor &editor) {
  Box result;
  const QList<QMessageBox *> boxes = editor.findChildren<QMessageBox *>();
  EXPECT_LE(boxes.size(), 1) << "several boxes open";
  if (boxes.isEmpty())
    return result;
  QMessageBox *box = boxes.front();
  result = {true, box->icon(), box->windowTitle(), box->text()};
  EXPECT_TRUE(box->isVisible());
  delete box;
  return result;
}

// A scratch folder with db.udl in it, holding `initString` or the default.
struct DataLinkFolder {
  explicit DataLinkFolder(const QString &initString = QString()) {
    if (initString.isNull()) {
      QString error;
      EXPECT_TRUE(data::ensureDataLinkFile(path, &error)) << text(error);
    } else {
      writeFile(path, expectedFile(initString));
    }
  }
  ScratchDir dir;
  QString path = data::dataLinkPathIn(dir.path());
};

// An editor over `folder` that has loaded it and is on screen.
struct OpenEditor {
  explicit OpenEditor(const DataLinkFolder &folder) : editor(folder.path), c(editor) {
    QString error;
    loaded = editor.load(&error) == DataLinkEditor::LoadOutcome::Loaded;
    EXPECT_TRUE(loaded) << text(error);
    editor.show();
  }
  DataLinkEditor editor;
  Controls c;
  bool loaded = false;
};

data::ConnectionSettings settingsOf(const QString &initString, const QString &dir) {
  return data::connectionSettingsFrom(initString, dir, {kDriver18});
}

TEST(DataLinkEditorLoad, ShowsTheDefaultFileAsSqlServerWithIntegratedSecurity) {
  DataLinkFolder folder;
  OpenEditor open(folder);
  ASSERT_TRUE(open.c.complete());
  const Controls &c = open.c;
  EXPECT_EQ(open.editor.windowTitle(), QStringLiteral("Свойства связи с данными"));
  EXPECT_FALSE(open.editor.isModal()) << "the caller does not wait for it";
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(c.provider->count(), 4);
  EXPECT_EQ(c.provider->itemText(0), QStringLiteral("Microsoft SQL Server"));
  EXPECT_EQ(c.provider->itemText(1), QStringLiteral("Источник данных ODBC"));
  EXPECT_EQ(c.provider->itemText(2), QStringLiteral("Файл SQLite"));
  EXPECT_EQ(c.provider->itemText(3), QStringLiteral("PostgreSQL"));
  EXPECT_EQ(c.provider->currentIndex(), 0);
  EXPECT_TRUE(c.integrated->isChecked());
  EXPECT_FALSE(c.userPassword->isChecked());
  EXPECT_EQ(c.user->text(), QStringLiteral("freight"));
  EXPECT_FALSE(c.user->isEnabled()) << "integrated security needs no user name";
  EXPECT_FALSE(c.password->isEnabled());
  EXPECT_EQ(c.password->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(c.server->text().isEmpty());
  EXPECT_TRUE(c.database->text().isEmpty());
  EXPECT_TRUE(c.server->isVisible());
  EXPECT_EQ(open.editor.initString(), kDefaultInit);
}

TEST(DataLinkEditorLoad, FillsEachProvidersFields) {
  const struct {
    const char *name;
    QString init;
    int index;
    std::map<std::string, QString> fields; // objectName → text
    bool integrated;
  } cases[] = {
      {"SQL login",
       "Provider=SQLNCLI11;Data Source=db1\\SQLEXPRESS;Initial Catalog=Docs;User ID=sa;"
       "Password=\"p;w\"",
       0,
       {{"edtServer", "db1\\SQLEXPRESS"},
        {"edtDatabase", "Docs"},
        {"edtUser", "sa"},
        {"edtPassword", "p;w"},
        {"edtDsn", ""},
        {"edtSqliteFile", ""}},
       false},
      {"integrated in another spelling",
       "Provider=MSOLEDBSQL;Integrated Security=true;Data Source=db1",
       0,
       {{"edtServer", "db1"}},
       true},
      {"ODBC",
       "Provider=MSDASQL.1;Data Source=Docs;Extended Properties=\"DRIVER={PostgreSQL "
       "Unicode};SERVER=127.0.0.1\"",
       1,
       {{"edtDsn", "Docs"},
        {"edtOdbcString", "DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1"},
        {"edtServer", ""},
        {"edtSqliteFile", ""}},
       false},
      {"no provider is ODBC", "Data Source=Docs", 1, {{"edtDsn", "Docs"}}, false},
      {"SQLite",
       "Provider=SQLite;Data Source=data/docs.db",
       2,
       {{"edtSqliteFile", "data/docs.db"}, {"edtServer", ""}, {"edtDsn", ""}},
       false},
      {"PostgreSQL",
       "Provider=PostgreSQL;Data Source=db1:5433;Initial Catalog=docs;User ID=u;Password=p;"
       "sslmode=require",
       3,
       {{"edtPgServer", "db1:5433"},
        {"edtPgDatabase", "docs"},
        {"edtPgUser", "u"},
        {"edtPgPassword", "p"},
        {"edtServer", ""},
        {"edtSqliteFile", ""}},
       false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    DataLinkFolder folder(c.init);
    OpenEditor open(folder);
    ASSERT_TRUE(open.c.complete());
    EXPECT_EQ(open.c.provider->currentIndex(), c.index);
    for (const auto &[name, expected] : c.fields) {
      const QLineEdit *edit = open.editor.findChild<QLineEdit *>(QString::fromStdString(name));
      ASSERT_NE(edit, nullptr) << name;
      EXPECT_EQ(edit->text(), expected) << name;
    }
    EXPECT_EQ(open.c.integrated->isChecked(), c.integrated);
    EXPECT_EQ(open.c.user->isEnabled(), !c.integrated);
    EXPECT_EQ(open.editor.initString(), c.init) << "untouched, the string comes back as read";
  }
}

TEST(DataLinkEditorLoad, ReportsAMissingOrMalformedFile) {
  ScratchDir dir;
  const QString missing = data::dataLinkPathIn(dir.path());
  {
    DataLinkEditor editor(missing);
    QString error;
    EXPECT_EQ(editor.load(&error), DataLinkEditor::LoadOutcome::Unreadable);
    EXPECT_TRUE(error.contains(missing)) << text(error);
  }
  DataLinkFolder folder(QStringLiteral("Provider=SQLOLEDB.1;Data Source=\"db1;User ID=x"));
  DataLinkEditor editor(folder.path);
  Controls c(editor);
  ASSERT_TRUE(c.complete());
  QString error;
  EXPECT_EQ(editor.load(&error), DataLinkEditor::LoadOutcome::Damaged);
  EXPECT_TRUE(error.contains(folder.path)) << text(error);
  EXPECT_TRUE(error.contains(QStringLiteral("malformed"))) << text(error);
  // The controls start empty; what OK writes is a fresh, well-formed string.
  EXPECT_EQ(c.provider->currentIndex(), 0);
  EXPECT_TRUE(c.server->text().isEmpty());
  c.server->setText(QStringLiteral("db2"));
  EXPECT_EQ(editor.initString(), QStringLiteral("Provider=SQLOLEDB.1;Data Source=db2"));
}

TEST(DataLinkEditorSave, OkWritesTheEditedServerAndDatabaseInTheFilesFormat) {
  DataLinkFolder folder;
  OpenEditor open(folder);
  ASSERT_TRUE(open.c.complete());
  open.c.server->setText(QStringLiteral("db1\\SQLEXPRESS,1434"));
  open.c.database->setText(QStringLiteral("Документы"));
  open.c.ok->click();

  EXPECT_FALSE(open.editor.isVisible());
  EXPECT_EQ(open.editor.result(), QDialog::Accepted);
  const QString expected = kDefaultInit + QStringLiteral(";Data Source=db1\\SQLEXPRESS,1434;"
                                                         "Initial Catalog=Документы");
  const QByteArray written = readFile(folder.path);
  EXPECT_EQ(written, expectedFile(expected))
      << "written:  " << hex(written) << "\nexpected: " << hex(expectedFile(expected));
  EXPECT_TRUE(written.startsWith(QByteArray("\xFF\xFE[\0o\0l\0e\0d\0b\0]\0\r\0\n\0", 20)));
  EXPECT_TRUE(written.endsWith(QByteArray("\r\0\n\0", 4)));
  EXPECT_EQ(written.count(QByteArray("\r\0\n\0", 4)), 3) << "three lines";

  const data::ConnectionSettings settings =
      settingsOf(initStringOnDisk(folder.path), folder.dir.path());
  EXPECT_EQ(settings.backend, data::ConnectionSettings::Backend::SqlServer);
  EXPECT_EQ(settings.provider, QStringLiteral("SQLOLEDB.1"));
  EXPECT_EQ(settings.odbcConnectionString,
            "Driver={" + kDriver18 +
                "};Server=db1\\SQLEXPRESS,1434;Database=Документы;Trusted_Connection=yes");
}

TEST(DataLinkEditorSave, UserAndPasswordReplaceIntegratedSecurity) {
  DataLinkFolder folder;
  OpenEditor open(folder);
  ASSERT_TRUE(open.c.complete());
  open.c.server->setText(QStringLiteral("db1"));
  open.c.userPassword->click();
  EXPECT_TRUE(open.c.user->isEnabled());
  EXPECT_TRUE(open.c.password->isEnabled());
  open.c.user->setText(QStringLiteral("sa"));
  open.c.password->setText(QStringLiteral(" p;w\"d "));
  open.c.ok->click();

  const QString onDisk = initStringOnDisk(folder.path);
  EXPECT_EQ(onDisk, QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;"
                                   "Data Source=db1;Password=\" p;w\"\"d \""));
  EXPECT_EQ(settingsOf(onDisk, folder.dir.path()).odbcConnectionString,
            "Driver={" + kDriver18 + "};Server=db1;UID=sa;PWD={ p;w\"d }");

  // And back: integrated security again, the user name stays.
  OpenEditor again(folder);
  ASSERT_TRUE(again.c.complete());
  EXPECT_TRUE(again.c.userPassword->isChecked());
  EXPECT_EQ(again.c.password->text(), QStringLiteral(" p;w\"d "));
  again.c.integrated->click();
  again.c.ok->click();
  EXPECT_EQ(initStringOnDisk(folder.path),
            QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;"
                           "Data Source=db1;Password=\" p;w\"\"d \";Integrated Security=SSPI"));
}

TEST(DataLinkEditorSave, KeysTheEditorDoesNotShowSurviveInPlace) {
  const QString original = QStringLiteral(
      "Provider=SQLNCLI11;Workstation ID=dock 7;Data Source=old;Application Name=\"Q;uillon\";"
      "Initial Catalog=Docs;Auto Translate=False;Connect Timeout=5");
  const struct {
    const char *name;
    std::function<void(Controls &)> edit;
    QString expected;
  } cases[] = {
      {"server changed, database cleared",
       [](Controls &c) {
         c.server->setText(QStringLiteral("new"));
         c.database->clear();
       },
       "Provider=SQLNCLI11;Workstation ID=dock 7;Data Source=new;Application "
       "Name=\"Q;uillon\";Auto Translate=False;Connect Timeout=5"},
      {"blanks only count as cleared",
       [](Controls &c) { c.server->setText(QStringLiteral("   ")); },
       "Provider=SQLNCLI11;Workstation ID=dock 7;Application Name=\"Q;uillon\";Initial "
       "Catalog=Docs;Auto Translate=False;Connect Timeout=5"},
      {"away to ODBC and back keeps the provider's spelling",
       [](Controls &c) {
         c.provider->setCurrentIndex(1);
         c.dsn->setText(QStringLiteral("Docs"));
         c.provider->setCurrentIndex(0);
         c.database->setText(QStringLiteral("Archive"));
       },
       "Provider=SQLNCLI11;Workstation ID=dock 7;Data Source=old;Application "
       "Name=\"Q;uillon\";Initial Catalog=Archive;Auto Translate=False;Connect Timeout=5"},
      {"ODBC replaces Provider and Data Source, SQL Server keys stay",
       [](Controls &c) {
         c.provider->setCurrentIndex(1);
         c.dsn->setText(QStringLiteral("Docs"));
         c.odbcString->setText(QStringLiteral("ReadOnly=1"));
       },
       "Provider=MSDASQL.1;Workstation ID=dock 7;Data Source=Docs;Application "
       "Name=\"Q;uillon\";Initial Catalog=Docs;Auto Translate=False;Connect "
       "Timeout=5;Extended Properties=ReadOnly=1"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    DataLinkFolder folder(original);
    OpenEditor open(folder);
    ASSERT_TRUE(open.c.complete());
    c.edit(open.c);
    open.c.ok->click();
    EXPECT_EQ(readFile(folder.path), expectedFile(c.expected))
        << "on disk: " << text(initStringOnDisk(folder.path));
  }
}

TEST(DataLinkEditorSave, UntouchedOkLeavesTheFileAlone) {
  // Spacing and quoting the editor would never write itself.
  const QString original =
      QStringLiteral("Provider = SQLOLEDB.1 ;User ID='freight';Integrated Security=SSPI");
  DataLinkFolder folder(original);
  const QDateTime past = QDateTime::fromSecsSinceEpoch(1'000'000'000);
  {
    QFile file(folder.path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(past, QFileDevice::FileModificationTime));
  }
  OpenEditor open(folder);
  ASSERT_TRUE(open.c.complete());
  // Edited and put back is untouched too.
  open.c.user->setText(QStringLiteral("other"));
  open.c.user->setText(QStringLiteral("freight"));
  open.c.ok->click();
  EXPECT_EQ(open.editor.result(), QDialog::Accepted);
  EXPECT_EQ(readFile(folder.path), expectedFile(original));
  EXPECT_EQ(QFileInfo(folder.path).lastModified(), past);
}

TEST(DataLinkEditorSave, CancelWritesNothing) {
  DataLinkFolder folder;
  OpenEditor open(folder);
  ASSERT_TRUE(open.c.complete());
  open.c.server->setText(QStringLiteral("db1"));
  open.c.cancel->click();
  EXPECT_FALSE(open.editor.isVisible());
  EXPECT_EQ(open.editor.result(), QDialog::Rejected);
  EXPECT_EQ(readFile(folder.path), data::defaultDataLinkContent());
}

TEST(DataLinkEditorSave, ReadOnlyFolderFailsWithAMessageAndKeepsTheOldFile) {
  QUILLON_REQUIRE_BINDING_PERMISSIONS();
  DataLinkFolder folder;
  OpenEditor open(folder);
  ASSERT_TRUE(open.c.complete());
  open.c.server->setText(QStringLiteral("db1"));
  const QString dir = folder.dir.path();
  ASSERT_TRUE(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
  open.c.ok->click();
  const Box box = takeBox(open.editor);
  ASSERT_TRUE(QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

  EXPECT_TRUE(box.shown) << "no message";
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.caption, QStringLiteral("Свойства связи с данными"));
  EXPECT_TRUE(box.text.contains(folder.path)) << text(box.text);
  EXPECT_TRUE(open.editor.isVisible()) << "the window stays open";
  EXPECT_NE(open.editor.result(), QDialog::Accepted);
  EXPECT_EQ(readFile(folder.path), data::defaultDataLinkContent());
  EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"db.udl"});

  // Writable again, OK succeeds with the same edits.
  open.c.ok->click();
  EXPECT_FALSE(takeBox(open.editor).shown);
  EXPECT_FALSE(open.editor.isVisible());
  EXPECT_EQ(initStringOnDisk(folder.path), kDefaultInit + QStringLiteral(";Data Source=db1"));
}

TEST(DataLinkEditorSqlite, SwitchingToSqliteWritesAFileThatReallyConnects) {
  DataLinkFolder folder;
  const QString database = folder.dir.file(QStringLiteral("docs.db"));
  writeFile(database, QByteArray()); // an empty file is an empty SQLite database
  OpenEditor open(folder);
  ASSERT_TRUE(open.c.complete());
  open.c.provider->setCurrentIndex(2);
  EXPECT_TRUE(open.c.sqliteFile->isVisible());
  EXPECT_TRUE(open.c.browse->isVisible());
  EXPECT_FALSE(open.c.server->isVisible());
  open.c.sqliteFile->setText(QStringLiteral("docs.db"));

  EXPECT_EQ(forms::testConnection(open.editor.initString(), folder.dir.path()), QString());
  open.c.test->click();
  const Box tested = takeBox(open.editor);
  EXPECT_TRUE(tested.shown);
  EXPECT_EQ(tested.icon, QMessageBox::Information);
  EXPECT_EQ(tested.text, QStringLiteral("Подключение выполнено успешно."));

  open.c.ok->click();
  EXPECT_FALSE(open.editor.isVisible());
  const QString onDisk = initStringOnDisk(folder.path);
  EXPECT_EQ(onDisk, QStringLiteral("Provider=SQLite;Integrated Security=SSPI;Persist Security "
                                   "Info=False;User ID=freight;Data Source=docs.db"));
  const data::InitProperties properties = data::InitProperties::parse(onDisk);
  EXPECT_EQ(properties.value(QStringLiteral("Provider")), QStringLiteral("SQLite"));
  EXPECT_EQ(settingsOf(onDisk, folder.dir.path()).sqliteFile, QDir::cleanPath(database));

  // Through the file, as the program connects: the statements land in docs.db.
  std::unique_ptr<data::Driver> driver;
  try {
    driver = data::openDriver(onDisk, folder.dir.path());
  } catch (const DataError &error) {
    FAIL() << error.what();
  }
  EXPECT_EQ(driver->dialect(), data::Dialect::Sqlite);
  const std::unique_ptr<data::ResultSet> none =
      driver->execute(QStringLiteral("create table Docs (id integer primary key, body blob)"));
  EXPECT_EQ(none.get(), nullptr);
  driver.reset();
  EXPECT_GT(QFileInfo(database).size(), 0) << "nothing reached docs.db";
}

TEST(DataLinkEditorSqlite, TestConnectionReportsTheDriversError) {
  ScratchDir dir;
  const QString missing = QStringLiteral("Provider=SQLite;Data Source=missing.db");
  QString driverError;
  try {
    data::openDriver(missing, dir.path());
  } catch (const DataError &error) {
    driverError = error.message();
  }
  ASSERT_FALSE(driverError.isEmpty()) << "a missing file opened";
  const QString reported = forms::testConnection(missing, dir.path());
  EXPECT_EQ(reported, driverError);
  EXPECT_TRUE(reported.contains(dir.file(QStringLiteral("missing.db")))) << text(reported);

  const struct {
    const char *name;
    QString init;
    QString part; // of the message
  } cases[] = {
      {"no file named", "Provider=SQLite", "names no SQLite database file"},
      {"unknown provider", "Provider=Microsoft.Jet.OLEDB.4.0", "Microsoft.Jet.OLEDB.4.0"},
      {"malformed", "Provider=SQLite;Data Source=\"x", "malformed"},
      {"not a database", "Provider=SQLite;Data Source=db.udl", "not a database"},
  };
  writeFile(dir.file(QStringLiteral("db.udl")), data::defaultDataLinkContent());
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const QString message = forms::testConnection(c.init, dir.path());
    EXPECT_TRUE(message.contains(c.part)) << text(message);
  }
}

TEST(DataLinkEditorSqlite, TestButtonShowsTheErrorAndKeepsTheFile) {
  DataLinkFolder folder;
  OpenEditor open(folder);
  ASSERT_TRUE(open.c.complete());
  open.c.provider->setCurrentIndex(2);
  open.c.sqliteFile->setText(QStringLiteral("missing.db"));
  open.c.test->click();
  const Box box = takeBox(open.editor);
  EXPECT_TRUE(box.shown);
  EXPECT_EQ(box.icon, QMessageBox::Warning);
  EXPECT_EQ(box.text,
            forms::testConnection(QStringLiteral("Provider=SQLite;Data Source=missing.db"),
                                  folder.dir.path()));
  EXPECT_TRUE(box.text.contains(QStringLiteral("missing.db"))) << text(box.text);
  EXPECT_TRUE(open.editor.isVisible());
  EXPECT_EQ(readFile(folder.path), data::defaultDataLinkContent()) << "testing writes nothing";
}

TEST(SqliteDataSourceFor, IsRelativeInsideTheDataLinkFolder) {
  const struct {
    QString chosen;
    QString dir;
    QString expected;
  } cases[] = {
      {"/opt/quillon/docs.db", "/opt/quillon", "docs.db"},
      {"/opt/quillon/docs.db", "/opt/quillon/", "docs.db"},
      {"/opt/quillon/data/docs.db", "/opt/quillon", "data/docs.db"},
      {"/opt/quillon/./data/../docs.db", "/opt/quillon", "docs.db"},
      {"/opt/quillon2/docs.db", "/opt/quillon", "/opt/quillon2/docs.db"},
      {"/opt/docs.db", "/opt/quillon", "/opt/docs.db"},
      {"/srv/shared/docs.db", "/opt/quillon", "/srv/shared/docs.db"},
      {"/opt/quillon/..docs.db", "/opt/quillon", "..docs.db"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(text(c.chosen + " in " + c.dir));
    const QString field = forms::sqliteDataSourceFor(c.chosen, c.dir);
    EXPECT_EQ(field, c.expected);
    // Read back as the connection reads it, it is the chosen file.
    EXPECT_EQ(QDir::cleanPath(QDir(c.dir).absoluteFilePath(field)), QDir::cleanPath(c.chosen));
  }
}

TEST(DataLinkEditorPostgres, SwitchingToPostgresWritesAFileThatReallyConnects) {
  QUILLON_REQUIRE_BACKEND(Backend::PostgresNative);
  const data::InitProperties server =
      data::InitProperties::parse(serverInitString(Backend::PostgresNative));
  DataLinkFolder folder;
  OpenEditor open(folder);
  ASSERT_TRUE(open.c.complete());
  open.c.provider->setCurrentIndex(3);
  const auto edit = [&](const char *name, const char *key) {
    auto *field = open.editor.findChild<QLineEdit *>(QLatin1String(name));
    ASSERT_NE(field, nullptr) << name;
    EXPECT_TRUE(field->isVisible()) << name;
    field->setText(server.value(QLatin1String(key)));
  };
  edit("edtPgServer", "Data Source");
  edit("edtPgDatabase", "Initial Catalog");
  edit("edtPgUser", "User ID");
  edit("edtPgPassword", "Password");
  EXPECT_EQ(forms::testConnection(open.editor.initString(), folder.dir.path()), QString());
  open.c.ok->click();
  const data::InitProperties written = data::InitProperties::parse(initStringOnDisk(folder.path));
  EXPECT_EQ(written.value(QStringLiteral("Provider")), QStringLiteral("PostgreSQL"));
  EXPECT_EQ(written.value(QStringLiteral("Data Source")), server.value("Data Source"));
  std::unique_ptr<data::Driver> driver;
  try {
    driver = data::openDriver(initStringOnDisk(folder.path), folder.dir.path());
  } catch (const DataError &error) {
    FAIL() << error.what();
  }
  EXPECT_EQ(driver->dialect(), data::Dialect::PostgreSql);
  EXPECT_EQ(driver->defaultDatabase(), server.value("Initial Catalog"));
}

TEST(DataLinkEditorLayout, EachProviderShowsOnlyItsOwnFields) {
  const std::map<int, std::set<std::string>> own = {
      {0, {"edtServer", "edtDatabase", "rbIntegrated", "rbUserPassword", "edtUser", "edtPassword"}},
      {1, {"edtDsn", "edtOdbcString"}},
      {2, {"edtSqliteFile", "btnBrowse"}},
      {3, {"edtPgServer", "edtPgDatabase", "edtPgUser", "edtPgPassword"}},
  };
  DataLinkFolder folder;
  OpenEditor open(folder);
  ASSERT_TRUE(open.c.complete());
  for (const auto &[index, names] : own) {
    SCOPED_TRACE(index);
    open.c.provider->setCurrentIndex(index);
    for (const auto &[other, otherNames] : own)
      for (const std::string &name : otherNames) {
        const QWidget *widget = open.editor.findChild<QWidget *>(QString::fromStdString(name));
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(widget->isVisible(), other == index) << name;
      }
    EXPECT_TRUE(open.c.provider->isVisible());
    EXPECT_TRUE(open.c.test->isVisible());
  }
}

TEST(DataLinkEditorLayout, AnUnsupportedProviderIsNamedAndKept) {
  const QString original = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=c:\\a.mdb");
  DataLinkFolder folder(original);
  OpenEditor open(folder);
  ASSERT_TRUE(open.c.complete());
  EXPECT_EQ(open.c.provider->currentIndex(), -1);
  const QLabel *note = control<QLabel>(open.editor, "lblUnsupported");
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->isVisible());
  EXPECT_TRUE(note->text().contains(QStringLiteral("Microsoft.Jet.OLEDB.4.0")));
  EXPECT_FALSE(open.c.server->isVisible());
  EXPECT_EQ(open.editor.initString(), original);
  open.c.provider->setCurrentIndex(2);
  open.c.sqliteFile->setText(QStringLiteral("docs.db"));
  EXPECT_EQ(open.editor.initString(), QStringLiteral("Provider=SQLite;Data Source=docs.db"));
}

// Alt plus the underlined letter reaches every field, and no letter is
// taken twice on what is shown.
TEST(DataLinkEditorLayout, EveryFieldHasAnUnambiguousAccessKey) {
  const auto accessKey = [](const QString &caption) -> QChar {
    const qsizetype at = caption.indexOf(QLatin1Char('&'));
    return at >= 0 && at + 1 < caption.size() ? caption[at + 1].toLower() : QChar();
  };
  DataLinkFolder folder;
  OpenEditor open(folder);
  ASSERT_TRUE(open.c.complete());
  open.c.userPassword->click();
  for (int index = 0; index < 3; ++index) {
    SCOPED_TRACE(index);
    open.c.provider->setCurrentIndex(index);
    std::map<QChar, QString> taken;
    const auto take = [&](const QString &caption) {
      const QChar key = accessKey(caption);
      ASSERT_FALSE(key.isNull()) << "no access key: " << text(caption);
      const auto [it, fresh] = taken.emplace(key, caption);
      EXPECT_TRUE(fresh) << text(caption) << " and " << text(it->second);
    };
    std::set<const QWidget *> reached;
    for (const QLabel *label : open.editor.findChildren<QLabel *>()) {
      if (!label->isVisible() || !label->buddy())
        continue;
      take(label->text());
      EXPECT_TRUE(label->buddy()->isVisible()) << text(label->text());
      reached.insert(label->buddy());
    }
    for (const QAbstractButton *button : open.editor.findChildren<QAbstractButton *>()) {
      if (button->isVisible() && button != open.c.ok && button != open.c.cancel)
        take(button->text());
    }
    for (const QLineEdit *edit : open.editor.findChildren<QLineEdit *>()) {
      if (edit->isVisible()) {
        EXPECT_TRUE(reached.count(edit)) << "no label leads to " << text(edit->objectName());
      }
    }
    EXPECT_TRUE(reached.count(open.c.provider));
  }
}

} // namespace
