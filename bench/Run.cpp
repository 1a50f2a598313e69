#include "bench/Run.h"

#include "bench/Fixtures.h"
#include "bench/Report.h"
#include "bench/Spawn.h"
#include "bench/Startup.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Query.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

#include <sys/statvfs.h>
#include <unistd.h>

namespace quillon::bench {

namespace {

constexpr qint64 kMb = 1 << 20;

void say(const QString &line) {
  std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
  std::fflush(stdout);
}

QString sizeName(qint64 bytes) {
  return bytes >= kMb ? QStringLiteral("%1 MB").arg(bytes / kMb)
                      : QStringLiteral("%1 KB").arg(bytes / 1024);
}

Measure measureOf(const Outcome &outcome) {
  if (!outcome.ok())
    return {};
  return {outcome.seconds, outcome.peakKb};
}

// Our own operations time themselves, from before connecting to after the
// last byte: a running program does not start again for each transfer.
Measure operationOf(const Outcome &outcome) {
  if (!outcome.ok())
    return {};
  return {outcome.field(QStringLiteral("seconds")).toDouble(), outcome.peakKb};
}

// Runs SQL on an SQLite file of our own (the fixtures, not the figures).
class SqliteFile {
public:
  explicit SqliteFile(const QString &path) {
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
      throw std::runtime_error("cannot open " + path.toStdString());
  }
  ~SqliteFile() { sqlite3_close(db_); }
  SqliteFile(const SqliteFile &) = delete;
  SqliteFile &operator=(const SqliteFile &) = delete;

  void exec(const QString &sql) {
    char *message = nullptr;
    if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string text = message ? message : "?";
      sqlite3_free(message);
      throw std::runtime_error("SQLite: " + text);
    }
  }

  // Rows id 1..count, each holding `value` under a name of its own.
  void fill(const QString &table, int count, const QByteArray &value) {
    exec(QStringLiteral("BEGIN"));
    sqlite3_stmt *insert = nullptr;
    const QByteArray sql =
        QStringLiteral("INSERT INTO %1 (id, name, picture) VALUES (?, ?, ?)").arg(table).toUtf8();
    sqlite3_prepare_v2(db_, sql.constData(), -1, &insert, nullptr);
    for (int id = 1; id <= count; ++id) {
      const QByteArray name = "picture " + QByteArray::number(id);
      sqlite3_bind_int(insert, 1, id);
      sqlite3_bind_text(insert, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
      sqlite3_bind_blob(insert, 3, value.constData(), int(value.size()), SQLITE_STATIC);
      if (sqlite3_step(insert) != SQLITE_DONE) {
        sqlite3_finalize(insert);
        throw std::runtime_error("SQLite: cannot insert rows");
      }
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    exec(QStringLiteral("COMMIT"));
  }

private:
  sqlite3 *db_ = nullptr;
};

QString quotedInit(const QString &odbc) {
  QString quoted = odbc;
  quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
  return QStringLiteral("Provider=MSDASQL.1;Extended Properties=\"%1\"").arg(quoted);
}

// The keys of an ODBC connection string that psql needs.
std::map<QString, QString> odbcKeys(const QString &odbc) {
  std::map<QString, QString> keys;
  QString key, value;
  bool inKey = true;
  bool braced = false;
  const auto flush = [&] {
    if (!key.trimmed().isEmpty())
      keys[key.trimmed().toLower()] = value;
    key.clear();
    value.clear();
    inKey = true;
  };
  for (qsizetype i = 0; i < odbc.size(); ++i) {
    const QChar c = odbc[i];
    if (inKey) {
      if (c == QLatin1Char('='))
        inKey = false;
      else if (c == QLatin1Char(';'))
        flush();
      else
        key += c;
    } else if (braced) {
      if (c == QLatin1Char('}') && i + 1 < odbc.size() && odbc[i + 1] == QLatin1Char('}'))
        value += odbc[++i];
      else if (c == QLatin1Char('}'))
        braced = false;
      else
        value += c;
    } else if (c == QLatin1Char('{') && value.isEmpty()) {
      braced = true;
    } else if (c == QLatin1Char(';')) {
      flush();
    } else {
      value += c;
    }
  }
  flush();
  return keys;
}

QString firstLine(const QByteArray &text) {
  return QString::fromLocal8Bit(text.trimmed().split('\n').value(0)).trimmed();
}

class Bench {
public:
  explicit Bench(Settings settings) : s_(std::move(settings)) {}

  int measureAll() {
    std::optional<QTemporaryDir> own;
    if (s_.work.isEmpty()) {
      own.emplace(QDir::temp().filePath(QStringLiteral("quillon-bench.XXXXXX")));
      if (!own->isValid())
        throw std::runtime_error("cannot create a scratch folder");
      dir_ = own->path();
    } else {
      dir_ = s_.work;
      QDir().mkpath(dir_);
    }
    // The server may run as another user and read our files (none is
    // secret: generated bytes only).
    QFile::setPermissions(dir_, QFile::permissions(dir_) | QFile::ExeOther | QFile::ReadOther);
    self_ = QCoreApplication::applicationFilePath();
    suffix_ = QString::number(getpid());

    say(QStringLiteral("Quillon benchmarks%1")
            .arg(s_.quick ? " (quick: small sizes, one run)" : QString()));
    machine();
    if (!s_.postgres.isEmpty())
      connectPostgres();
    else
      say(QStringLiteral("PostgreSQL: no server given, its figures are skipped"));

    const std::pair<const char *, void (Bench::*)()> sections[] = {{"transfers", &Bench::transfers},
                                                                   {"result", &Bench::bigResult},
                                                                   {"pictures", &Bench::pictures},
                                                                   {"startup", &Bench::startup}};
    for (const auto &[name, section] : sections) {
      if (!s_.only.isEmpty() && !s_.only.contains(QLatin1String(name)))
        continue;
      try {
        (this->*section)();
      } catch (const std::exception &e) {
        failures_ << QStringLiteral("%1: %2").arg(QLatin1String(name), QString::fromUtf8(e.what()));
      }
    }
    dropPostgresTables();

    say(QString());
    std::fputs(qPrintable(report_.text()), stdout);
    if (!s_.markdown.isEmpty()) {
      QSaveFile file(s_.markdown);
      if (!file.open(QIODevice::WriteOnly) || file.write(report_.markdown().toUtf8()) < 0 ||
          !file.commit())
        failures_ << QStringLiteral("cannot write %1").arg(s_.markdown);
    }
    if (!s_.quick) {
      int missed = 0;
      for (const Row &row : report_.rows())
        missed += row.missed() ? 1 : 0;
      say(QStringLiteral("\n%1 target(s) missed").arg(missed));
    }
    if (!limits_.isEmpty()) {
      say(QStringLiteral("\nFailed at an engine's limit (see docs/PERFORMANCE.md):"));
      for (const QString &limit : limits_)
        say(QStringLiteral("  ") + limit);
    }
    if (!failures_.isEmpty()) {
      say(QStringLiteral("\nFAILED checks:"));
      for (const QString &failure : failures_)
        say(QStringLiteral("  ") + failure);
      return 1;
    }
    say(limits_.isEmpty()
            ? QStringLiteral("\nAll checks passed: every value round-tripped byte for byte.")
            : QStringLiteral("\nAll other checks passed: every value that was moved round-tripped "
                             "byte for byte."));
    return 0;
  }

private:
  // ------------------------------------------------------------ plumbing

  QString path(const QString &name) const { return QDir(dir_).filePath(name); }

  // Runs a measured program after flushing earlier writes, so that one
  // figure does not pay for another's write-back. A failure is recorded.
  Outcome measured(Command command, const QString &what) {
    command.peakFile = path(QStringLiteral("peak.txt"));
    ::sync();
    const Outcome outcome = run(command);
    if (!outcome.ok() && isKnownLimit(outcome))
      limits_ << QStringLiteral("%1: %2").arg(what, outcome.failure());
    else if (!outcome.ok())
      failures_ << QStringLiteral("%1: %2").arg(what, outcome.failure());
    else if (s_.verbose && !outcome.field(QStringLiteral("phases")).isEmpty())
      say(QStringLiteral("  %1: %2").arg(what, outcome.field(QStringLiteral("phases"))));
    return outcome;
  }

  Command self(const QStringList &args) const {
    Command command;
    command.argv = QStringList{self_} + args;
    return command;
  }

  // PostgreSQL sends a value as text, which may not exceed 1 GB: a bytea
  // value of 512 MB or more cannot be read by any text-protocol client, so
  // Quillon's failure there is the engine's limit, not a broken run.
  static bool isKnownLimit(const Outcome &outcome) {
    return outcome.exitCode == 1 && outcome.err.contains("invalid memory alloc request size");
  }

  // Small sizes and single runs say nothing about the targets.
  void add(Row row) {
    if (s_.quick)
      row.minRatio = row.maxPeakMb = -1;
    report_.add(row);
  }

  void expect(bool ok, const QString &what) {
    if (!ok)
      failures_ << what;
  }

  void expectSame(const QString &original, const QString &copy, const QString &what,
                  qint64 offset = 0) {
    const qint64 length = offset ? QFileInfo(original).size() : -1;
    expect(sameBytes(original, copy, offset, length),
           QStringLiteral("%1: the bytes differ from the original").arg(what));
  }

  int repeatsFor(qint64 size) const {
    if (s_.quick)
      return 1;
    return size >= 32 * kMb ? 3 : 5;
  }

  void machine() {
    QFile info(QStringLiteral("/proc/meminfo"));
    QString memory;
    if (info.open(QIODevice::ReadOnly))
      memory = QString::fromLatin1(info.readLine()).simplified();
    QFile cpu(QStringLiteral("/proc/cpuinfo"));
    QString model;
    if (cpu.open(QIODevice::ReadOnly))
      for (const QByteArray &line : cpu.readAll().split('\n'))
        if (line.startsWith("model name")) {
          model = QString::fromLatin1(line.mid(line.indexOf(':') + 1)).trimmed();
          break;
        }
    struct statvfs disk {};
    statvfs(QFile::encodeName(dir_).constData(), &disk);
    say(QStringLiteral("Machine: %1 cores (%2), %3, scratch %4 with %5 GB free")
            .arg(std::thread::hardware_concurrency())
            .arg(model, memory, dir_)
            .arg(double(disk.f_bavail) * double(disk.f_frsize) / 1e9, 0, 'f', 0));
    Command sqliteVersion;
    sqliteVersion.argv = {QStringLiteral("sqlite3"), QStringLiteral("--version")};
    Command psqlVersion;
    psqlVersion.argv = {QStringLiteral("psql"), QStringLiteral("--version")};
    say(QStringLiteral("Tools: Qt %1, sqlite3 %2, %3")
            .arg(QLatin1String(qVersion()), firstLine(run(sqliteVersion).out).section(' ', 0, 0),
                 firstLine(run(psqlVersion).out)));
  }

  // ------------------------------------------------------------ PostgreSQL

  void connectPostgres() {
    pg_ = std::make_unique<data::Connection>(QStringLiteral("bench"));
    pg_->setConnectionString(quotedInit(s_.postgres));
    pg_->open();
    data::Query version(QStringLiteral("version"), *pg_);
    version.setSQL({QStringLiteral("SELECT version() AS v")});
    version.open();
    say(QStringLiteral("PostgreSQL: %1")
            .arg(QString::fromUtf8(version.fieldByName(QStringLiteral("v")).asString())
                     .section(QLatin1Char(','), 0, 0)));
    const std::map<QString, QString> keys = odbcKeys(s_.postgres);
    const auto key = [&](const char *name) {
      const auto found = keys.find(QLatin1String(name));
      return found == keys.end() ? QString() : found->second;
    };
    psqlArgs_ = {QStringLiteral("psql"), QStringLiteral("-X"), QStringLiteral("-q"),
                 QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1")};
    if (const QString host = key("server"); !host.isEmpty())
      psqlArgs_ << QStringLiteral("-h") << host;
    if (const QString port = key("port"); !port.isEmpty())
      psqlArgs_ << QStringLiteral("-p") << port;
    if (const QString user = key("uid"); !user.isEmpty())
      psqlArgs_ << QStringLiteral("-U") << user;
    if (const QString database = key("database"); !database.isEmpty())
      psqlArgs_ << QStringLiteral("-d") << database;
    psqlPassword_ = key("pwd");
  }

  void pgExec(const QString &sql) { pg_->driver().execute(sql); }

  QString pgTable(const QString &base) {
    const QString name = QStringLiteral("bench_%1_%2").arg(base, suffix_);
    if (!pgTables_.contains(name))
      pgTables_ << name;
    return name;
  }

  void dropPostgresTables() {
    if (!pg_)
      return;
    for (const QString &table : pgTables_) {
      try {
        pgExec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(table));
      } catch (const data::DataError &) {
      }
    }
  }

  Command psql(const QStringList &args, const QString &stdoutPath = QString()) const {
    Command command;
    command.argv = psqlArgs_ + args;
    command.env[QStringLiteral("PGPASSWORD")] = psqlPassword_;
    command.stdoutPath = stdoutPath;
    return command;
  }

  // ------------------------------------------------------------ transfers

  void transfers() {
    const std::vector<qint64> sizes = s_.quick ? std::vector<qint64>{64 * 1024, 2 * kMb}
                                               : std::vector<qint64>{kMb, 64 * kMb, 512 * kMb};
    for (const qint64 size : sizes) {
      const QString input = path(QStringLiteral("value.bin"));
      writeRandomFile(input, size, quint64(size));
      sqliteTransfers(size, input);
      if (pg_)
        postgresTransfers(size, input);
      QFile::remove(input);
    }
  }

  void sqliteTransfers(qint64 size, const QString &input) {
    const QString name = sizeName(size);
    say(QStringLiteral("SQLite transfers, %1 ...").arg(name));
    const QString ours = path(QStringLiteral("quillon.db"));
    const QString theirs = path(QStringLiteral("sqlite3.db"));
    const QString outOurs = path(QStringLiteral("out-quillon.bin"));
    const QString outTheirs = path(QStringLiteral("out-sqlite3.bin"));
    const QString outDd = path(QStringLiteral("out-dd.bin"));
    const QString outCp = path(QStringLiteral("out-cp.bin"));
    const QString init = QStringLiteral("Provider=SQLite;Data Source=%1").arg(ours);
    std::vector<Measure> load, readfile, dd, save, writefile, cp;
    for (int rep = 0; rep < repeatsFor(size); ++rep) {
      for (const QString &db : {ours, theirs}) {
        for (const QString &suffix : {QString(), QStringLiteral("-journal")})
          QFile::remove(db + suffix);
        SqliteFile file(db);
        file.exec(QStringLiteral("CREATE TABLE t (id INTEGER PRIMARY KEY, v BLOB);"
                                 "INSERT INTO t (id, v) VALUES (1, NULL)"));
      }
      for (const QString &out : {outOurs, outTheirs, outDd, outCp})
        QFile::remove(out);

      const Outcome loaded = measured(self({"load", init, "t", input}), "Quillon load");
      load.push_back(operationOf(loaded));
      Command sqliteLoad;
      sqliteLoad.argv = {QStringLiteral("sqlite3"), theirs,
                         QStringLiteral("UPDATE t SET v = readfile('%1') WHERE id = 1").arg(input)};
      const Outcome readIn = measured(sqliteLoad, "sqlite3 readfile()");
      readfile.push_back(measureOf(readIn));
      Command ddCopy;
      ddCopy.argv = {QStringLiteral("dd"),
                     "if=" + input,
                     "of=" + outDd,
                     QStringLiteral("bs=1M"),
                     QStringLiteral("conv=fsync"),
                     QStringLiteral("status=none")};
      const Outcome ddDone = measured(ddCopy, "dd");
      dd.push_back(measureOf(ddDone));

      const Outcome saved = measured(self({"save", init, "t", outOurs}), "Quillon save");
      save.push_back(operationOf(saved));
      Command sqliteSave;
      sqliteSave.argv = {
          QStringLiteral("sqlite3"), theirs,
          QStringLiteral("SELECT writefile('%1', v) FROM t WHERE id = 1").arg(outTheirs)};
      sqliteSave.stdoutPath = QStringLiteral("/dev/null");
      const Outcome writtenOut = measured(sqliteSave, "sqlite3 writefile()");
      writefile.push_back(measureOf(writtenOut));
      Command cpCopy;
      cpCopy.argv = {QStringLiteral("cp"), input, outCp};
      const Outcome cpDone = measured(cpCopy, "cp");
      cp.push_back(measureOf(cpDone));

      // A failed step is already recorded; its output is not compared.
      if (loaded.ok() && saved.ok())
        expectSame(input, outOurs, QStringLiteral("SQLite %1, Quillon load then save").arg(name));
      if (readIn.ok() && writtenOut.ok())
        expectSame(input, outTheirs, QStringLiteral("SQLite %1, sqlite3 shell").arg(name));
      if (ddDone.ok())
        expectSame(input, outDd, QStringLiteral("dd %1").arg(name));
      if (cpDone.ok())
        expectSame(input, outCp, QStringLiteral("cp %1").arg(name));
    }
    for (const QString &file : {ours, theirs, outOurs, outTheirs, outDd, outCp})
      QFile::remove(file);

    const QString section = QStringLiteral("File -> value -> file, SQLite");
    const double memoryLimit = 64 + 0.1 * double(size) / kMb;
    add({section, "SQLite load " + name, combine(load), "dd bs=1M conv=fsync", combine(dd), 0.5,
         memoryLimit, size});
    add({section, "SQLite load " + name, combine(load), "sqlite3 readfile()", combine(readfile), -1,
         -1, size});
    add({section, "SQLite save " + name, combine(save), "cp", combine(cp), 0.3, memoryLimit, size});
    add({section, "SQLite save " + name, combine(save), "sqlite3 writefile()", combine(writefile),
         -1, -1, size});
  }

  void postgresTransfers(qint64 size, const QString &input) {
    const QString name = sizeName(size);
    say(QStringLiteral("PostgreSQL transfers, %1 ...").arg(name));
    const QString values = pgTable(QStringLiteral("values"));
    const QString copies = pgTable(QStringLiteral("copies"));
    const QString copyIn = path(QStringLiteral("value.pgcopy"));
    const QString outOurs = path(QStringLiteral("out-quillon.bin"));
    const QString outTheirs = path(QStringLiteral("out-psql.pgcopy"));
    writeCopyFile(input, copyIn);
    QFile::setPermissions(copyIn, QFile::permissions(copyIn) | QFile::ReadOther);
    const QString init = quotedInit(s_.postgres);
    std::vector<Measure> load, copyLoad, save, copySave;
    for (int rep = 0; rep < repeatsFor(size); ++rep) {
      pgExec(QStringLiteral("DROP TABLE IF EXISTS %1; DROP TABLE IF EXISTS %2;"
                            "CREATE TABLE %1 (id integer PRIMARY KEY, v bytea);"
                            "INSERT INTO %1 (id, v) VALUES (1, NULL);"
                            "CREATE TABLE %2 (v bytea)")
                 .arg(values, copies));
      QFile::remove(outOurs);
      QFile::remove(outTheirs);

      const Outcome loaded = measured(self({"load", init, values, input}), "Quillon load");
      load.push_back(operationOf(loaded));
      const Outcome copiedIn = measured(
          psql(
              {QStringLiteral("-c"),
               QStringLiteral("\\copy %1 (v) FROM '%2' WITH (FORMAT binary)").arg(copies, copyIn)}),
          "psql \\copy in");
      copyLoad.push_back(measureOf(copiedIn));
      const Outcome saved = measured(self({"save", init, values, outOurs}), "Quillon save");
      save.push_back(operationOf(saved));
      const Outcome copiedOut =
          measured(psql({QStringLiteral("-c"),
                         QStringLiteral("\\copy (SELECT v FROM %1) TO '%2' WITH (FORMAT binary)")
                             .arg(copies, outTheirs)}),
                   "psql \\copy out");
      copySave.push_back(measureOf(copiedOut));

      if (loaded.ok() && saved.ok())
        expectSame(input, outOurs,
                   QStringLiteral("PostgreSQL %1, Quillon load then save").arg(name));
      if (copiedIn.ok() && copiedOut.ok())
        expectSame(input, outTheirs, QStringLiteral("PostgreSQL %1, psql \\copy").arg(name),
                   kCopyValueOffset);
    }
    pgExec(QStringLiteral("DROP TABLE IF EXISTS %1; DROP TABLE IF EXISTS %2").arg(values, copies));
    for (const QString &file : {copyIn, outOurs, outTheirs})
      QFile::remove(file);

    const QString section = QStringLiteral("File -> value -> file, PostgreSQL");
    const double memoryLimit = 64 + 1.2 * double(size) / kMb;
    add({section, "PostgreSQL load " + name, combine(load), "psql \\copy FROM (binary)",
         combine(copyLoad), 0.9, memoryLimit, size});
    add({section, "PostgreSQL save " + name, combine(save), "psql \\copy TO (binary)",
         combine(copySave), 0.9, memoryLimit, size});
  }

  // ------------------------------------------------------------ big result

  void bigResult() {
    // The quick run still holds more than the cache keeps of large values.
    const int rows = s_.quick ? 200 : 10000;
    const qint64 pictureSize = 100 * 1024;
    const int repeats = s_.quick ? 1 : 3;
    const QByteArray picture = makeJpegOfSize(pictureSize);
    const QString figure =
        QStringLiteral("%1 rows x %2 picture").arg(rows).arg(sizeName(pictureSize));
    const QString section = QStringLiteral("Opening a result of %1 rows").arg(rows);
    const QString statement = QStringLiteral("SELECT * FROM pics");

    say(QStringLiteral("SQLite result of %1 ...").arg(figure));
    const QString db = path(QStringLiteral("pictures.db"));
    {
      SqliteFile file(db);
      file.exec(QStringLiteral(
          "CREATE TABLE pics (id INTEGER PRIMARY KEY, name varchar(50), picture image)"));
      file.fill(QStringLiteral("pics"), rows, picture);
    }
    std::vector<Measure> ours, theirs;
    for (int rep = 0; rep < repeats; ++rep) {
      const Outcome opened = measured(
          self({"open", QStringLiteral("Provider=SQLite;Data Source=%1").arg(db), statement}),
          "Quillon open");
      expectOpened(opened, QStringLiteral("SQLite"), rows, picture);
      ours.push_back(operationOf(opened));
      Command shell;
      shell.argv = {QStringLiteral("sqlite3"), db, statement};
      shell.stdoutPath = QStringLiteral("/dev/null");
      theirs.push_back(measureOf(measured(shell, "sqlite3 SELECT")));
    }
    QFile::remove(db);
    add({section, "SQLite open " + figure, combine(ours), "sqlite3 shell", combine(theirs), -1, 100,
         0});

    if (!pg_)
      return;
    say(QStringLiteral("PostgreSQL result of %1 ...").arg(figure));
    const QString table = pgTable(QStringLiteral("pics"));
    pgExec(QStringLiteral("DROP TABLE IF EXISTS %1;"
                          "CREATE TABLE %1 (id integer PRIMARY KEY, name varchar(50), "
                          "picture bytea);"
                          "INSERT INTO %1 SELECT g, 'picture ' || g, decode('%2', 'hex') "
                          "FROM generate_series(1, %3) g")
               .arg(table, QString::fromLatin1(picture.toHex()))
               .arg(rows));
    const QString select = QStringLiteral("SELECT * FROM %1").arg(table);
    ours.clear();
    theirs.clear();
    for (int rep = 0; rep < repeats; ++rep) {
      const Outcome opened =
          measured(self({"open", quotedInit(s_.postgres), select}), "Quillon open");
      expectOpened(opened, QStringLiteral("PostgreSQL"), rows, picture);
      ours.push_back(operationOf(opened));
      theirs.push_back(measureOf(
          measured(psql({QStringLiteral("-A"), QStringLiteral("-t"), QStringLiteral("-c"), select},
                        QStringLiteral("/dev/null")),
                   "psql SELECT")));
    }
    pgExec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(table));
    add({section, "PostgreSQL open " + figure, combine(ours), "psql -A -t", combine(theirs), -1,
         100, 0});
  }

  // ------------------------------------------------------------ pictures

  struct Picture {
    QString name;
    QString file;
    int width;
    int height;
  };

  void pictures() {
    const bool q = s_.quick;
    const int repeats = q ? 1 : 5;
    const int processRepeats = q ? 1 : 3;
    say(QStringLiteral("Pictures ..."));
    const Picture jpeg{QStringLiteral("JPEG"), path(QStringLiteral("photo.jpg")), q ? 800 : 6000,
                       q ? 600 : 4000};
    writeFile(jpeg.file, makeJpeg(jpeg.width, jpeg.height));
    const Picture gif{QStringLiteral("GIF"), path(QStringLiteral("chart.gif")), q ? 200 : 2000,
                      q ? 150 : 1500};
    writeFile(gif.file, makeGif(gif.width, gif.height));
    const Picture bmp{QStringLiteral("BMP"), path(QStringLiteral("scan.bmp")), q ? 400 : 4000,
                      q ? 300 : 3000};
    writeFile(bmp.file, makeBmp(bmp.width, bmp.height));
    const int shapes = q ? 200 : 5000;
    const Picture wmf{QStringLiteral("WMF"), path(QStringLiteral("drawing.wmf")), 1600, 1200};
    writeFile(wmf.file, makeWmf(wmf.width, wmf.height, shapes));
    const QString section = QStringLiteral("Pictures");

    // JPEG: the decoding in a running program, median of several, beside
    // djpeg runs (whole processes, whose start is a millisecond).
    const QString megapixels =
        QStringLiteral("%1 MP").arg(double(jpeg.width) * jpeg.height / 1e6, 0, 'f', 1);
    const Outcome decoded =
        measured(self({"decode", jpeg.file, QString::number(processRepeats)}), "Quillon JPEG");
    expectSize(decoded, jpeg);
    std::vector<Measure> djpeg, render;
    const QString png = path(QStringLiteral("photo.png"));
    for (int rep = 0; rep < processRepeats; ++rep) {
      Command reference;
      reference.argv = {QStringLiteral("djpeg"), QStringLiteral("-outfile"),
                        QStringLiteral("/dev/null"), jpeg.file};
      djpeg.push_back(measureOf(measured(reference, "djpeg")));
      Command renderer;
      renderer.argv = {s_.render, jpeg.file, png};
      render.push_back(measureOf(measured(renderer, "quillon-render")));
      expect(QFileInfo(png).size() > 0, QStringLiteral("quillon-render wrote no PNG"));
      QFile::remove(png);
    }
    add({section, "JPEG " + megapixels + ", decode", operationOf(decoded),
         "djpeg -outfile /dev/null", combine(djpeg), 0.9, -1, 0});
    add({section, "JPEG " + megapixels + ", quillon-render to PNG (process)", combine(render),
         "djpeg -outfile /dev/null", combine(djpeg), -1, -1, 0});

    // The others in one process, fastest of several, beside Qt's readers.
    for (const Picture &picture : {gif, bmp, wmf}) {
      const Outcome decoded = measured(self({"decode", picture.file, QString::number(repeats)}),
                                       "Quillon " + picture.name + " decode");
      expectSize(decoded, picture);
      const QString figure =
          QStringLiteral("%1 %2x%3, decode")
              .arg(picture.name)
              .arg(picture.width)
              .arg(picture.height) +
          (picture.name == "WMF" ? QStringLiteral(", %1 shapes").arg(shapes) : QString());
      if (picture.name == QLatin1String("WMF")) {
        add({section, figure, operationOf(decoded), {}, {}, -1, -1, 0});
        continue;
      }
      const Outcome qt = measured(self({"qt-decode", picture.file, QString::number(repeats)}),
                                  "Qt " + picture.name + " reader");
      add({section, figure, operationOf(decoded), "Qt's image reader", operationOf(qt), -1, -1, 0});
    }
    for (const Picture &picture : {jpeg, gif, bmp, wmf})
      QFile::remove(picture.file);
  }

  // The whole result arrived, the cache kept no more large values than it
  // may, and the last picture, read again from the database, is intact.
  void expectOpened(const Outcome &opened, const QString &engine, int rows,
                    const QByteArray &picture) {
    if (!opened.ok())
      return;
    const QString what = QStringLiteral("%1 result").arg(engine);
    expect(opened.field(QStringLiteral("rows")) == QString::number(rows),
           QStringLiteral("%1: %2 rows opened, not %3")
               .arg(what, opened.field(QStringLiteral("rows")))
               .arg(rows));
    const qint64 held = opened.field(QStringLiteral("held")).toLongLong();
    expect(held <= data::kInlineValueBudget + picture.size(),
           QStringLiteral("%1: the cache holds %2 bytes of pictures").arg(what).arg(held));
    const QByteArray hash = QCryptographicHash::hash(picture, QCryptographicHash::Sha256).toHex();
    expect(opened.field(QStringLiteral("last")) == QString::fromLatin1(hash),
           QStringLiteral("%1: the last picture read back differs").arg(what));
  }

  void expectSize(const Outcome &decoded, const Picture &picture) {
    if (!decoded.ok())
      return;
    expect(decoded.field(QStringLiteral("width")).toInt() == picture.width &&
               decoded.field(QStringLiteral("height")).toInt() == picture.height,
           QStringLiteral("%1 decoded as %2x%3, not %4x%5")
               .arg(picture.name, decoded.field(QStringLiteral("width")),
                    decoded.field(QStringLiteral("height")))
               .arg(picture.width)
               .arg(picture.height));
  }

  // ------------------------------------------------------------ start-up

  void startup() {
    say(QStringLiteral("Start-up under Xvfb ..."));
    // A portable folder of its own: the program, the demo database and a
    // db.udl that opens it, so nothing is written beside the build.
    const QString folder = path(QStringLiteral("app"));
    QDir().mkpath(folder);
    const QString program = QDir(folder).filePath(QStringLiteral("quillon"));
    QFile::remove(program);
    if (!QFile::copy(s_.app, program))
      throw std::runtime_error("cannot copy " + s_.app.toStdString());
    const QString demo = QDir(folder).filePath(QStringLiteral("demo.db"));
    for (const QStringList &args :
         {QStringList{demo}, QStringList{QStringLiteral("--udl"),
                                         QDir(folder).filePath(QStringLiteral("db.udl")), demo}}) {
      Command make;
      make.argv = QStringList{s_.makeDemoDb} + args;
      const Outcome made = run(make);
      if (!made.ok())
        throw std::runtime_error("make-demo-db: " + made.failure().toStdString());
    }
    const QString config = path(QStringLiteral("config"));
    const QString runtime = path(QStringLiteral("runtime"));
    QDir().mkpath(config);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    VirtualScreen screen(path(QStringLiteral("xvfb.log")));
    const auto start = [&](const QString &executable) {
      Command command;
      command.argv = {executable};
      command.env[QStringLiteral("QT_QPA_PLATFORM")] = QStringLiteral("xcb");
      command.env[QStringLiteral("XDG_CONFIG_HOME")] = config;
      command.env[QStringLiteral("XDG_RUNTIME_DIR")] = runtime;
      return command;
    };
    const int runs = s_.quick ? 1 : 5;
    std::vector<Measure> first, main, bare;
    // One unmeasured start of each fills the page cache.
    for (int rep = s_.quick ? 0 : -1; rep < runs; ++rep) {
      const StartupFigure ours =
          measureStartup(start(program), screen.display(), QStringLiteral("Quillon"), 60);
      const StartupFigure theirs =
          measureStartup(start(s_.bareWindow), screen.display(), QStringLiteral("Bare window"), 60);
      expect(ours.ok(), QStringLiteral("Quillon start-up: %1").arg(ours.error));
      expect(theirs.ok(), QStringLiteral("bare window start-up: %1").arg(theirs.error));
      if (rep < 0)
        continue;
      first.push_back(ours.ok() ? Measure{ours.firstWindow, ours.peakKb} : Measure{});
      main.push_back(ours.ok() ? Measure{ours.titledWindow, ours.peakKb} : Measure{});
      bare.push_back(theirs.ok() ? Measure{theirs.titledWindow, theirs.peakKb} : Measure{});
    }
    QDir(folder).removeRecursively();
    const QString section = QStringLiteral("Start-up to the first shown window (Xvfb)");
    add({section, "Quillon, first window mapped", combine(first), "bare Qt Widgets window",
         combine(bare), -1, -1, 0});
    add({section, "Quillon, main window mapped", combine(main), "bare Qt Widgets window",
         combine(bare), -1, -1, 0});
  }

  Settings s_;
  Report report_;
  QStringList failures_;
  QStringList limits_;
  QString dir_;
  QString self_;
  QString suffix_;
  std::unique_ptr<data::Connection> pg_;
  QStringList psqlArgs_;
  QString psqlPassword_;
  QStringList pgTables_;
};

} // namespace

int runBenchmarks(const Settings &settings) {
  try {
    return Bench(settings).measureAll();
  } catch (const std::exception &e) {
    std::fprintf(stderr, "quillon-bench: %s\n", e.what());
    return 1;
  }
}

} // namespace quillon::bench
