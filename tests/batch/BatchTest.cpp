#include "batch/Commands.h"
#include "batch/Options.h"
#include "batch/Report.h"
#include "data/DataLink.h"
#include "data/DatabaseFixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <limits>

#include <signal.h>

namespace {

using namespace quillon;
using namespace quillon::test;

QByteArray zipWith(const QByteArray &name) {
  QByteArray header("PK\x03\x04", 4);
  header += QByteArray(26, '\0');
  header[26] = char(name.size());
  return header + name + QByteArray(100, 'z');
}

// A value of each kind a user keeps, with the extension it is known by.
struct Sample {
  QByteArray bytes;
  const char *extension;
};

std::vector<Sample> samples() {
  return {{QByteArray("\xff\xd8\xff\xe0", 4) + patterned(3000, 1), "jpg"},
          {"GIF89a" + patterned(500, 2), "gif"},
          {"BM" + patterned(700, 3), "bmp"},
          {QByteArray("\xd7\xcd\xc6\x9a", 4) + patterned(400, 4), "wmf"},
          {QByteArray("\0\0\x01\0", 4) + patterned(300, 5), "ico"},
          {"\x89PNG\r\n\x1a\n" + patterned(900, 6), "png"},
          {"%PDF-1.4\n" + patterned(800, 7), "pdf"},
          {zipWith("[Content_Types].xml") + zipWith("word/document.xml"), "docx"},
          {"{\\rtf1\\ansi Привет}", "rtf"},
          {"Notes, Ёжик\r\n", "txt"},
          {patterned((16 << 20) + 1, 8), "bin"}};
}

// The two commands run in this process over the test's connection, their
// report caught.
class BatchTest : public DatabaseTest {
protected:
  struct Outcome {
    QStringList lines;
    int failures = 0;
  };

  Outcome run(const QStringList &arguments) {
    QString error;
    const std::optional<batch::Options> options = batch::parseOptions(arguments, &error);
    EXPECT_TRUE(options) << error.toStdString();
    if (!options)
      return {};
    char *text = nullptr;
    size_t length = 0;
    FILE *out = open_memstream(&text, &length);
    Outcome outcome;
    {
      batch::Report report(out, false, out);
      const std::atomic<bool> stop{false};
      if (options->command == batch::Command::Export)
        batch::runExport(connection_.driver(), *options, report, stop);
      else
        batch::runImport(connection_.driver(), *options, report, stop);
      report.finish(QStringLiteral("done"));
      outcome.failures = report.failures();
    }
    std::fclose(out);
    outcome.lines = QString::fromUtf8(text, qsizetype(length)).split('\n', Qt::SkipEmptyParts);
    std::free(text);
    return outcome;
  }

  QString dir(const char *name) { return scratch_.file(QLatin1String(name)); }

  QStringList filesIn(const QString &path) {
    return QDir(path).entryList(QDir::Files | QDir::Hidden, QDir::Name);
  }

  // Writes values through the data layer, as the window would.
  void put(const QString &t, int id, const char *column, const QByteArray &bytes) {
    auto query = open("SELECT * FROM " + t + " WHERE id = " + QString::number(id));
    ASSERT_EQ(query->recordCount(), 1);
    query->edit();
    query->fieldByName(column).setAsString(bytes);
    query->post();
  }

  QByteArray stored(const QString &t, int id, const char *column) {
    auto query = open("SELECT * FROM " + t + " WHERE id = " + QString::number(id));
    EXPECT_EQ(query->recordCount(), 1);
    return query->fieldByName(column).asString();
  }

  bool storedIsNull(const QString &t, int id, const char *column) {
    auto query = open("SELECT * FROM " + t + " WHERE id = " + QString::number(id));
    return query->fieldByName(column).isNull();
  }
};

TEST_P(BatchTest, ExportAndImportRoundTripEveryKindOfValueByteForByte) {
  const QString t = table("vals");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", v " + blobType() + ")");
  const std::vector<Sample> values = samples();
  for (size_t i = 0; i < values.size() + 2; ++i)
    exec("INSERT INTO " + t + " (v) VALUES (NULL)");
  for (size_t i = 0; i < values.size(); ++i)
    put(t, int(i) + 1, "v", values[i].bytes);
  const int nullRow = int(values.size()) + 1, emptyRow = nullRow + 1;
  exec("UPDATE " + t + " SET v = " + (postgres() ? "''::bytea" : "x''") +
       " WHERE id = " + QString::number(emptyRow));

  const QString out = dir("out");
  const Outcome exported =
      run({"export", "--table", t, "--column", "v", "--dir", out, "--null", "skip"});
  EXPECT_EQ(exported.failures, 0) << exported.lines.join('\n').toStdString();
  EXPECT_TRUE(exported.lines.contains(QStringLiteral("skipped: row id=%1: NULL").arg(nullRow)))
      << exported.lines.join('\n').toStdString();
  for (size_t i = 0; i < values.size(); ++i) {
    const QString name = QStringLiteral("%1.%2").arg(i + 1).arg(values[i].extension);
    SCOPED_TRACE(name.toStdString());
    QFile file(out + "/" + name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll() == values[i].bytes);
  }
  EXPECT_EQ(QFileInfo(out + QStringLiteral("/%1.bin").arg(emptyRow)).size(), 0);
  EXPECT_EQ(filesIn(out).size(), values.size() + 1) << "no temporary file is left";
  // Written by several threads, the files are the same.
  const QString parallel = dir("parallel");
  EXPECT_EQ(
      run({"export", "--table", t, "--column", "v", "--dir", parallel, "--jobs", "3"}).failures, 0);
  EXPECT_EQ(filesIn(parallel), filesIn(out));
  for (const QString &name : filesIn(out))
    EXPECT_TRUE(readBytes(parallel + "/" + name) == readBytes(out + "/" + name))
        << name.toStdString();

  // Emptied, then loaded back from the files by their key, also with the
  // files read ahead by several threads.
  for (const QStringList &jobs : {QStringList(), QStringList{"--jobs", "3"}}) {
    SCOPED_TRACE(jobs.join(' ').toStdString());
    exec("UPDATE " + t + " SET v = NULL");
    const Outcome imported = run(
        QStringList{"import", "--table", t, "--column", "v", "--key", "id", "--dir", out} + jobs);
    EXPECT_EQ(imported.failures, 0) << imported.lines.join('\n').toStdString();
    for (size_t i = 0; i < values.size(); ++i) {
      SCOPED_TRACE(values[i].extension);
      EXPECT_TRUE(stored(t, int(i) + 1, "v") == values[i].bytes);
    }
    EXPECT_TRUE(storedIsNull(t, nullRow, "v"));
    EXPECT_FALSE(storedIsNull(t, emptyRow, "v")) << "an empty file is an empty value";
    EXPECT_TRUE(stored(t, emptyRow, "v").isEmpty());
  }
}

TEST_P(BatchTest, NamesFromColumnsStayInsideTheFolderAndNeverCollide) {
  const QString t = table("named");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", title varchar(40), v " + blobType() + ")");
  const QStringList titles{"a/b",           "..",   "../../escape", " blanks ",
                           "Ёжик в тумане", "same", "same",         "SAME"};
  for (const QString &title : titles)
    exec("INSERT INTO " + t + " (title, v) VALUES ('" + title + "', " +
         (postgres() ? "'\\x01'::bytea" : "x'01'") + ")");
  const QString out = dir("named");
  QDir().mkpath(out);
  writeBytes(out + "/same.bin", "there before");
  const Outcome exported = run({"export", "--query", "SELECT id, title, v FROM " + t, "--column",
                                "v", "--name", "{title}", "--dir", out});
  EXPECT_EQ(exported.failures, 0) << exported.lines.join('\n').toStdString();
  QStringList files = filesIn(out);
  files.sort();
  QStringList expected{" blanks .bin", "__.bin",     ".._.._escape.bin",
                       "a_b.bin",      "same-2.bin", "same-3.bin",
                       "SAME.bin",     "same.bin",   "Ёжик в тумане.bin"};
  expected.sort();
  EXPECT_EQ(files, expected) << files.join(" | ").toStdString();
  EXPECT_EQ(readBytes(out + "/same.bin"), "there before") << "a file there is never replaced";
  EXPECT_TRUE(QDir(scratch_.file("escape.bin")).exists() == false);

  // --on-exists skip leaves the row; overwrite replaces the file.
  const Outcome skipped = run({"export", "--table", t, "--column", "v", "--name", "{title}",
                               "--dir", out, "--on-exists", "skip"});
  EXPECT_EQ(skipped.lines.filter("skipped:").size(), titles.size());
  run({"export", "--table", t, "--column", "v", "--name", "{title}", "--dir", out, "--on-exists",
       "overwrite", "--ext", "dat"});
  EXPECT_EQ(readBytes(out + "/a_b.dat"), QByteArray("\x01"));
}

TEST_P(BatchTest, ImportFindsExactlyOneRowOrSaysWhy) {
  const QString t = table("imp");
  exec("CREATE TABLE " + t + " (" + serialKey() +
       ", \"Order Key\" varchar(20), fname varchar(40), v " + blobType() + ")");
  exec("INSERT INTO " + t +
       " (\"Order Key\", fname) VALUES ('O''Brien', 'one.txt'), "
       "('plain', 'twin.txt'), ('other', 'twin.txt')");
  const QString in = dir("in");
  QDir().mkpath(in);
  writeBytes(in + "/photo-O'Brien.txt", "by key");
  writeBytes(in + "/photo-nobody.txt", "no row");
  writeBytes(in + "/unrelated.txt", "no match");
  // Written after a refused one in the same transaction: a refusal undoes
  // only its own row.
  writeBytes(in + "/photo-plain.txt", "after a refusal");
  const Outcome byKey = run({"import", "--table", t, "--column", "v", "--key", "Order Key",
                             "--match", "photo-{Order Key}.*", "--dir", in});
  EXPECT_EQ(byKey.failures, 0) << byKey.lines.join('\n').toStdString();
  EXPECT_EQ(stored(t, 1, "v"), "by key");
  EXPECT_EQ(stored(t, 2, "v"), "after a refusal");
  EXPECT_EQ(byKey.lines.filter("skipped:").size(), 2) << byKey.lines.join('\n').toStdString();
  EXPECT_EQ(byKey.lines.filter("no row matches").size(), 1);

  // By a column holding the file name: two rows share "twin.txt".
  const QString named = dir("named");
  QDir().mkpath(named);
  writeBytes(named + "/one.txt", "by name");
  writeBytes(named + "/twin.txt", "ambiguous");
  const Outcome byName =
      run({"import", "--table", t, "--column", "v", "--from-column", "fname", "--dir", named});
  EXPECT_EQ(stored(t, 1, "v"), "by name");
  EXPECT_EQ(stored(t, 2, "v"), "after a refusal") << "the ambiguous file changed nothing";
  EXPECT_TRUE(storedIsNull(t, 3, "v"));
  EXPECT_EQ(byName.lines.filter("2 rows").size(), 1) << byName.lines.join('\n').toStdString();

  // A dry run writes nothing and says what it would.
  exec("UPDATE " + t + " SET v = NULL");
  const Outcome dry = run({"import", "--table", t, "--column", "v", "--from-column", "fname",
                           "--dir", named, "--dry-run"});
  EXPECT_TRUE(storedIsNull(t, 1, "v"));
  EXPECT_EQ(dry.lines.filter("would write").size(), 1) << dry.lines.join('\n').toStdString();
  EXPECT_TRUE(dry.lines.filter("would write").value(0).endsWith("one.txt row fname=one.txt"));
  EXPECT_EQ(dry.lines.last(), "done 1 files (7 B), skipped 1, failed 0");
}

TEST_P(BatchTest, AFileThatCannotBeReadFailsAloneAndTheStatusSaysSo) {
  QUILLON_REQUIRE_BINDING_PERMISSIONS();
  const QString t = table("unread");
  exec("CREATE TABLE " + t + " (" + serialKey() + ", v " + blobType() + ")");
  exec("INSERT INTO " + t + " (v) VALUES (NULL), (NULL)");
  const QString in = dir("in");
  QDir().mkpath(in);
  writeBytes(in + "/1.bin", "locked");
  writeBytes(in + "/2.bin", "fine");
  QFile::setPermissions(in + "/1.bin", QFileDevice::Permissions());
  const Outcome outcome =
      run({"import", "--table", t, "--column", "v", "--key", "id", "--dir", in});
  EXPECT_EQ(outcome.failures, 1);
  EXPECT_EQ(outcome.lines.filter(QRegularExpression("^failed: file .*1\\.bin row id=1: ")).size(),
            1)
      << outcome.lines.join('\n').toStdString();
  EXPECT_TRUE(storedIsNull(t, 1, "v"));
  EXPECT_EQ(stored(t, 2, "v"), "fine");
}

INSTANTIATE_TEST_SUITE_P(Backends, BatchTest, testing::ValuesIn(sqliteAndPostgres()),
                         BackendName());

// The program itself: its help, its refusals and its exit status.
TEST(BatchProgramTest, HelpUsageErrorsAndTheExitStatus) {
  QProcess help;
  help.start(QStringLiteral(QUILLON_BATCH), {"--help"});
  ASSERT_TRUE(help.waitForFinished(60000));
  EXPECT_EQ(help.exitCode(), 0);
  EXPECT_TRUE(help.readAllStandardOutput().contains("quillon-batch export"));

  for (const QStringList &bad :
       {QStringList{"frobnicate"}, QStringList{"export", "--table", "t"},
        QStringList{"import", "--table", "t", "--column", "v", "--dir", "d"},
        QStringList{"export", "--table", "t", "--column", "v", "--dir", "d", "--jobs", "0"}}) {
    SCOPED_TRACE(bad.join(' ').toStdString());
    QProcess process;
    process.start(QStringLiteral(QUILLON_BATCH), bad);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAllStandardError().startsWith("quillon-batch: "));
  }

  ScratchDir scratch;
  QProcess missing;
  missing.start(QStringLiteral(QUILLON_BATCH),
                {"export", "--udl", scratch.file("none.udl"), "--table", "t", "--column", "v",
                 "--dir", scratch.file("out")});
  ASSERT_TRUE(missing.waitForFinished(60000));
  EXPECT_EQ(missing.exitCode(), 2);
  EXPECT_TRUE(missing.readAllStandardError().contains("none.udl"));
}

// Ctrl+C stops the program after the file it is writing: every file in the
// folder is whole, and no temporary file is left.
TEST(BatchProgramTest, InterruptedExportLeavesOnlyWholeFiles) {
  ScratchDir scratch;
  const QString database = scratch.file("many.db");
  writeBytes(database, {});
  Connection connection(QStringLiteral("filler"));
  connection.setConnectionString(QStringLiteral("Provider=SQLite;Data Source=%1").arg(database));
  connection.open();
  connection.driver().execute("CREATE TABLE t (id integer primary key, v blob)");
  connection.driver().execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                              "WHERE i < 40) INSERT INTO t (v) SELECT randomblob(4194304) FROM n");
  const QString udl = scratch.file("db.udl");
  QString error;
  ASSERT_TRUE(data::writeDataLinkFile(
      udl, QStringLiteral("Provider=SQLite;Data Source=%1").arg(database), &error))
      << error.toStdString();
  const QString out = scratch.file("out");
  QProcess process;
  process.start(QStringLiteral(QUILLON_BATCH),
                {"export", "--udl", udl, "--table", "t", "--column", "v", "--dir", out});
  ASSERT_TRUE(process.waitForStarted(60000));
  while (process.state() == QProcess::Running && QDir(out).entryList(QDir::Files).isEmpty())
    process.waitForFinished(20);
  ::kill(pid_t(process.processId()), SIGINT);
  ASSERT_TRUE(process.waitForFinished(300000));
  const QByteArray errors = process.readAllStandardError();
  ASSERT_EQ(process.exitStatus(), QProcess::NormalExit) << errors.toStdString();
  const QStringList files = QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name);
  if (process.exitCode() == 130) {
    EXPECT_LT(files.size(), 40);
    EXPECT_TRUE(errors.contains("stopped by Ctrl+C")) << errors.toStdString();
  } else {
    EXPECT_EQ(process.exitCode(), 0) << errors.toStdString();
    EXPECT_EQ(files.size(), 40) << "the run ended before Ctrl+C came";
  }
  const QRegularExpression whole(QStringLiteral("^([0-9]+)\\.bin$"));
  for (const QString &name : files) {
    SCOPED_TRACE(name.toStdString());
    const QRegularExpressionMatch match = whole.match(name);
    ASSERT_TRUE(match.hasMatch()) << "a temporary file was left";
    auto stored = connection.driver().execute("SELECT v FROM t WHERE id = " + match.captured(1));
    ASSERT_TRUE(stored->fetch());
    EXPECT_TRUE(readBytes(out + "/" + name) ==
                stored->value(0, std::numeric_limits<qint64>::max()).data());
  }
}

} // namespace
