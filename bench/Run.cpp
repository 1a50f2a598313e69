#include "bench/Run.h"

#include "bench/Fixtures.h"
#include "bench/Report.h"
#include "bench/Spawn.h"
#include "bench/Startup.h"

#include "data/Connection.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/DataLink.h"
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

// A time the program printed as "KEY=milliseconds", with its peak.
Measure printedMsOf(const Outcome &outcome, const QString &key) {
  if (!outcome.ok())
    return {};
  return {outcome.field(key).toDouble() / 1000, outcome.peakKb};
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

  // Sets `column` of row `id`, inserting the row first.
  void put(const QString &table, int id, const QString &column, const QByteArray &value,
           bool asText) {
    exec(QStringLiteral("INSERT OR IGNORE INTO %1 (id) VALUES (%2)").arg(table).arg(id));
    sqlite3_stmt *update = nullptr;
    const QByteArray sql =
        QStringLiteral("UPDATE %1 SET %2 = ? WHERE id = %3").arg(table, column).arg(id).toUtf8();
    sqlite3_prepare_v2(db_, sql.constData(), -1, &update, nullptr);
    if (asText)
      sqlite3_bind_text64(update, 1, value.constData(), sqlite3_uint64(value.size()), SQLITE_STATIC,
                          SQLITE_UTF8);
    else
      sqlite3_bind_blob64(update, 1, value.constData(), sqlite3_uint64(value.size()),
                          SQLITE_STATIC);
    const int done = sqlite3_step(update);
    sqlite3_finalize(update);
    if (done != SQLITE_DONE)
      throw std::runtime_error("SQLite: cannot set a value");
  }

private:
  sqlite3 *db_ = nullptr;
};

// Pictures whose headers promise far more than their bytes hold, and one
// cut short: the viewer must refuse each at once.
QByteArray bmpClaimingGigapixels() {
  QByteArray bmp("BM");
  auto put32 = [&bmp](quint32 v) {
    for (int i = 0; i < 4; ++i)
      bmp.append(char(v >> (8 * i) & 0xFF));
  };
  auto put16 = [&bmp](quint16 v) { bmp.append(char(v & 0xFF)).append(char(v >> 8)); };
  put32(14 + 40 + 1024 + 2); // file size
  put32(0);
  put32(14 + 40 + 1024); // the bits' offset
  put32(40);
  put32(8192); // width
  put32(8192); // height
  put16(1);
  put16(8);
  put32(1); // RLE8
  put32(2);
  put32(0);
  put32(0);
  put32(256);
  put32(0);
  bmp.append(QByteArray(1024, '\x40')); // the palette
  bmp.append("\x00\x01", 2);            // end of bitmap
  return bmp;
}

QByteArray gifClaimingGigapixels() {
  return QByteArray("GIF89a\xFF\xFF\xFF\xFF\x80\x00\x00"
                    "\x00\x00\x00\xFF\xFF\xFF"
                    ",\x00\x00\x00\x00\xFF\xFF\xFF\xFF\x00"
                    "\x02\x02\x44\x01\x00;",
                    35);
}

// The db.udl initialization string that reaches an ODBC connection string.
QString quotedInit(const QString &odbc) {
  data::InitProperties properties;
  properties.set(QStringLiteral("Provider"), QStringLiteral("MSDASQL.1"));
  properties.set(QStringLiteral("Extended Properties"), odbc);
  return properties.toString();
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

    const std::pair<const char *, void (Bench::*)()> sections[] = {
        {"transfers", &Bench::transfers}, {"result", &Bench::bigResult},
        {"pictures", &Bench::pictures},   {"text", &Bench::texts},
        {"viewer", &Bench::viewer},       {"startup", &Bench::startup},
        {"batch", &Bench::batch}};
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
  // quillon-batch moving the picture column of `table` to or from the files
  // of `dir`, named by the key id.
  Command batchRun(const QString &command, const QString &udl, const QString &table,
                   const QString &dir) const {
    Command run;
    run.argv = {s_.batch, command,    "--udl",   udl,     "--table",
                table,    "--column", "picture", "--dir", dir};
    if (command == QLatin1String("import"))
      run.argv << "--key"
               << "id";
    return run;
  }

  // A shell leaves the files it wrote in the page cache, where an export's
  // are on the disk by the time it ends: the reference's time includes
  // flushing them, without the sync that starts each measurement.
  Measure flushed(Measure shell, const QString &dir) {
    if (!shell.valid())
      return shell;
    Command flush;
    flush.argv = {QStringLiteral("sync"), QStringLiteral("-f"), dir};
    const Outcome outcome = run(flush);
    if (!outcome.ok()) {
      failures_ << QStringLiteral("sync -f %1: %2").arg(dir, outcome.failure());
      return {};
    }
    shell.seconds += outcome.seconds;
    return shell;
  }

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

  static void writeUdl(const QString &path, const QString &initString) {
    QString error;
    if (!data::writeDataLinkFile(path, initString, &error))
      throw std::runtime_error(error.toStdString());
  }

  // Empties the folders, making them where they are missing.
  static void freshFolders(const QStringList &folders) {
    for (const QString &folder : folders) {
      QDir(folder).removeRecursively();
      QDir().mkpath(folder);
    }
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
    const std::vector<data::OdbcAttribute> attributes = data::splitOdbcString(s_.postgres);
    const auto key = [&](const char *name) {
      const data::OdbcAttribute *found = data::findOdbcAttribute(attributes, QLatin1String(name));
      return found ? found->value : QString();
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

  // The two ways Quillon reaches PostgreSQL: psqlodbc and libpq.
  std::vector<std::pair<QString, QString>> postgresDrivers() const {
    return {{QStringLiteral("ODBC"), quotedInit(s_.postgres)},
            {QStringLiteral("libpq"), data::postgresInitStringFromOdbc(s_.postgres)}};
  }

  void transfers() {
    // The largest values each engine keeps: SQLite's default length limit
    // holds the whole row, so the row's header and key take their room;
    // PostgreSQL keeps 1 GB less its 4-byte header, and psqlodbc sends a
    // value in one message that must fit in the same limit.
    const qint64 sqliteLargest = 1000000000 - 1024;
    const qint64 postgresLargest = (qint64(1) << 30) - 5 - 64 * 1024;
    const std::vector<qint64> sizes =
        s_.quick ? std::vector<qint64>{64 * 1024, 2 * kMb}
                 : std::vector<qint64>{kMb, 64 * kMb, 512 * kMb, sqliteLargest, postgresLargest};
    for (const qint64 size : sizes) {
      const QString input = path(QStringLiteral("value.bin"));
      writeRandomFile(input, size, quint64(size));
      if (size <= sqliteLargest)
        sqliteTransfers(size, input);
      if (pg_ && (size == postgresLargest || size <= 512 * kMb))
        for (const auto &[driver, init] : postgresDrivers())
          postgresTransfers(size, input, driver, init);
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
      // Saving a value that was never loaded measures nothing.
      save.push_back(loaded.ok() ? operationOf(saved) : Measure{});
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

  void postgresTransfers(qint64 size, const QString &input, const QString &driver,
                         const QString &init) {
    const QString name = sizeName(size);
    say(QStringLiteral("PostgreSQL (%1) transfers, %2 ...").arg(driver, name));
    const QString values = pgTable(QStringLiteral("values"));
    const QString copies = pgTable(QStringLiteral("copies"));
    const QString copyIn = path(QStringLiteral("value.pgcopy"));
    const QString outOurs = path(QStringLiteral("out-quillon.bin"));
    const QString outTheirs = path(QStringLiteral("out-psql.pgcopy"));
    writeCopyFile(input, copyIn);
    QFile::setPermissions(copyIn, QFile::permissions(copyIn) | QFile::ReadOther);
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
      save.push_back(loaded.ok() ? operationOf(saved) : Measure{});
      const Outcome copiedOut =
          measured(psql({QStringLiteral("-c"),
                         QStringLiteral("\\copy (SELECT v FROM %1) TO '%2' WITH (FORMAT binary)")
                             .arg(copies, outTheirs)}),
                   "psql \\copy out");
      copySave.push_back(copiedIn.ok() ? measureOf(copiedOut) : Measure{});

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

    // libpq streams both ways; psqlodbc gathers a written value whole.
    const bool native = driver == QLatin1String("libpq");
    const QString section =
        QStringLiteral("File -> value -> file, PostgreSQL through %1").arg(driver);
    const double loadMemory = native ? 64 : 64 + 1.2 * double(size) / kMb;
    add({section, "PostgreSQL load " + name, combine(load), "psql \\copy FROM (binary)",
         combine(copyLoad), native ? 0.7 : -1, loadMemory, size});
    add({section, "PostgreSQL save " + name, combine(save), "psql \\copy TO (binary)",
         combine(copySave), native ? 0.9 : -1, native ? 64 : loadMemory, size});
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
    for (const auto &[driver, init] : postgresDrivers()) {
      ours.clear();
      theirs.clear();
      for (int rep = 0; rep < repeats; ++rep) {
        const Outcome opened = measured(self({"open", init, select}), "Quillon open");
        expectOpened(opened, QStringLiteral("PostgreSQL through %1").arg(driver), rows, picture);
        ours.push_back(operationOf(opened));
        theirs.push_back(measureOf(measured(
            psql({QStringLiteral("-A"), QStringLiteral("-t"), QStringLiteral("-c"), select},
                 QStringLiteral("/dev/null")),
            "psql SELECT")));
      }
      add({section, QStringLiteral("PostgreSQL (%1) open ").arg(driver) + figure, combine(ours),
           "psql -A -t", combine(theirs), -1, 100, 0});
    }
    pgExec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(table));
    oneHugeRow();
  }

  // A table whose one row holds the largest value PostgreSQL keeps opens
  // in about the time of a query of its length.
  void oneHugeRow() {
    const qint64 size = s_.quick ? 4 * kMb : (qint64(1) << 30) - 5 - 64 * 1024;
    const QString table = pgTable(QStringLiteral("huge"));
    say(QStringLiteral("PostgreSQL result of one %1 value ...").arg(sizeName(size)));
    // Doubled from a megabyte up: no single statement may hold more.
    pgExec(QStringLiteral("DROP TABLE IF EXISTS %1; CREATE TABLE %1 (id integer PRIMARY KEY, v "
                          "bytea); ALTER TABLE %1 ALTER COLUMN v SET STORAGE EXTERNAL;"
                          "INSERT INTO %1 VALUES (1, decode(repeat('ab', %2), 'hex'))")
               .arg(table)
               .arg(kMb));
    qint64 built = kMb;
    for (; built * 2 <= size; built *= 2)
      pgExec(QStringLiteral("UPDATE %1 SET v = v || v").arg(table));
    if (built < size)
      pgExec(QStringLiteral("UPDATE %1 SET v = v || substring(v from 1 for %2)")
                 .arg(table)
                 .arg(size - built));
    const QString select = QStringLiteral("SELECT * FROM %1").arg(table);
    const QString section = QStringLiteral("Opening a result of one %1 value").arg(sizeName(size));
    Command lengthOnly = psql({QStringLiteral("-A"), QStringLiteral("-t"), QStringLiteral("-c"),
                               QStringLiteral("SELECT id, octet_length(v) FROM %1").arg(table)},
                              QStringLiteral("/dev/null"));
    for (const auto &[driver, init] : postgresDrivers()) {
      const Outcome opened = measured(self({"open", init, select}), "Quillon open");
      add({section, QStringLiteral("PostgreSQL (%1) open").arg(driver), operationOf(opened),
           "psql octet_length", measureOf(measured(lengthOnly, "psql SELECT octet_length")), -1, 64,
           0});
    }
    pgExec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(table));
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
      const Outcome ours = measured(self({"decode", picture.file, QString::number(repeats)}),
                                    "Quillon " + picture.name + " decode");
      expectSize(ours, picture);
      const QString figure =
          QStringLiteral("%1 %2x%3, decode")
              .arg(picture.name)
              .arg(picture.width)
              .arg(picture.height) +
          (picture.name == "WMF" ? QStringLiteral(", %1 shapes").arg(shapes) : QString());
      if (picture.name == QLatin1String("WMF")) {
        add({section, figure, operationOf(ours), {}, {}, -1, -1, 0});
        continue;
      }
      const Outcome qt = measured(self({"qt-decode", picture.file, QString::number(repeats)}),
                                  "Qt " + picture.name + " reader");
      add({section, figure, operationOf(ours), "Qt's image reader", operationOf(qt), -1, -1, 0});
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

  // ------------------------------------------------------------ text

  // Reading RTF must take time in proportion to the document: each shape is
  // read at n and at 2n units, the smaller one being the reference, so the
  // ratio is 0.5 for linear work and 0.25 for quadratic.
  void texts() {
    const int n = s_.quick ? 2000 : 20000;
    const int repeats = s_.quick ? 1 : 3;
    say(QStringLiteral("RTF documents of %1 and %2 units ...").arg(n).arg(2 * n));
    const std::pair<const char *, const char *> shapes[] = {
        {"bold runs", "{\\b x}y"},
        {"paragraphs", "x\\par "},
        {"table rows", "\\intbl x\\cell y\\cell\\row "},
        {"table cells", "\\intbl x\\cell "},
        {"tables between paragraphs", "\\pard\\intbl x\\cell\\row\\pard y\\par "}};
    const QString section = QStringLiteral("RTF reading, 2n units against n");
    for (const auto &[name, unit] : shapes) {
      Measure measures[2];
      for (const int factor : {1, 2}) {
        QByteArray document = "{\\rtf1\\trowd\\cellx100\\cellx200 ";
        for (int i = 0; i < factor * n; ++i)
          document += unit;
        document += '}';
        const QString file = path(QStringLiteral("text%1.rtf").arg(factor));
        writeFile(file, document);
        const Outcome read = measured(self({"rtf", file, QString::number(repeats)}),
                                      QStringLiteral("Quillon RTF %1").arg(QLatin1String(name)));
        measures[factor - 1] = operationOf(read);
      }
      add({section, QStringLiteral("%1, %2 units").arg(QLatin1String(name)).arg(2 * n), measures[1],
           QStringLiteral("%1 units").arg(n), measures[0], 0.4, -1, 0});
    }
  }

  // ------------------------------------------------------------ viewer

  // Moves the real windows' cursor onto each value, one process a move so
  // that the peak memory is the move's own.
  void viewer() {
    const bool q = s_.quick;
    say(QStringLiteral("Viewer moves ..."));
    const QString folder = path(QStringLiteral("viewer"));
    QDir().mkpath(folder);
    const QString db = QDir(folder).filePath(QStringLiteral("values.db"));
    QFile::remove(db);
    const int jpegWidth = q ? 800 : 8000, jpegHeight = q ? 600 : 6000;
    const QByteArray jpeg = makeJpeg(jpegWidth, jpegHeight);
    const QString jpegFile = path(QStringLiteral("viewer.jpg"));
    writeFile(jpegFile, jpeg);
    struct Move {
      QString figure;
      QString table;
      int row;
    };
    std::vector<Move> moves;
    {
      SqliteFile file(db);
      file.exec(QStringLiteral("CREATE TABLE texts (id INTEGER PRIMARY KEY, t TEXT);"
                               "CREATE TABLE pics (id INTEGER PRIMARY KEY, p BLOB);"
                               "INSERT INTO texts (id, t) VALUES (1, 'a short text');"
                               "INSERT INTO pics (id, p) VALUES (1, NULL)"));
      const qint64 scale = q ? 16 : 1;
      const QByteArray line = "0123456789abcdef";
      const QByteArray shortLine = "A line of ordinary words such as a log or a letter holds.\n";
      file.put(QStringLiteral("texts"), 2, QStringLiteral("t"),
               line.repeated(int(2 * kMb / scale / line.size())), true);
      file.put(QStringLiteral("texts"), 3, QStringLiteral("t"),
               shortLine.repeated(int(8 * kMb / scale / shortLine.size())), true);
      file.put(QStringLiteral("texts"), 4, QStringLiteral("t"),
               shortLine.repeated(int(100 * kMb / scale / shortLine.size())), true);
      const QString unit = sizeName(2 * kMb / scale), lines = sizeName(8 * kMb / scale),
                    huge = sizeName(100 * kMb / scale);
      moves.push_back({QStringLiteral("text, %1 in one line").arg(unit), "texts", 1});
      moves.push_back({QStringLiteral("text, %1 of lines").arg(lines), "texts", 2});
      moves.push_back({QStringLiteral("text, %1 of lines").arg(huge), "texts", 3});
      file.put(QStringLiteral("pics"), 2, QStringLiteral("p"), jpeg, false);
      file.put(QStringLiteral("pics"), 3, QStringLiteral("p"), bmpClaimingGigapixels(), false);
      file.put(QStringLiteral("pics"), 4, QStringLiteral("p"), gifClaimingGigapixels(), false);
      file.put(QStringLiteral("pics"), 5, QStringLiteral("p"), jpeg.left(jpeg.size() / 2), false);
    }
    writeFile(data::dataLinkPathIn(folder),
              data::encodeDataLinkFile(QStringLiteral("Provider=SQLite;Data Source=%1").arg(db)));
    const QString config = path(QStringLiteral("viewer-config"));
    const QString runtime = path(QStringLiteral("viewer-runtime"));
    QDir().mkpath(config);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto move = [&](const QString &table, int row, const QString &column) {
      Command command;
      command.argv = {s_.viewerMoves, folder, table, QString::number(row), column};
      command.env[QStringLiteral("QT_QPA_PLATFORM")] = QStringLiteral("offscreen");
      command.env[QStringLiteral("XDG_CONFIG_HOME")] = config;
      command.env[QStringLiteral("XDG_RUNTIME_DIR")] = runtime;
      return measured(command, QStringLiteral("viewer move onto %1 row %2").arg(table).arg(row));
    };
    const int runs = q ? 1 : 3;
    const QString section = QStringLiteral("Viewer: a move onto a value");
    const Measure stallBudget{0.1, 0}, firstPartBudget{0.2, 0};
    for (const Move &m : moves) {
      std::vector<Measure> stall, shown;
      for (int rep = 0; rep < runs; ++rep) {
        const Outcome moved = move(m.table, m.row, QStringLiteral("t"));
        stall.push_back(printedMsOf(moved, QStringLiteral("stall_ms")));
        shown.push_back(printedMsOf(moved, QStringLiteral("shown_ms")));
      }
      add({section, m.figure + ", longest stall", combine(stall), "100 ms budget", stallBudget, 1.0,
           -1, 0});
      add({section, m.figure + ", first part shown", combine(shown), "200 ms budget",
           firstPartBudget, 1.0, -1, 0});
    }

    std::vector<Measure> photo, djpeg;
    for (int rep = 0; rep < runs; ++rep) {
      const Outcome moved = move(QStringLiteral("pics"), 1, QStringLiteral("p"));
      photo.push_back(printedMsOf(moved, QStringLiteral("shown_ms")));
      Command reference;
      reference.argv = {QStringLiteral("djpeg"), QStringLiteral("-outfile"),
                        QStringLiteral("/dev/null"), jpegFile};
      djpeg.push_back(measureOf(measured(reference, "djpeg")));
    }
    add({section, QStringLiteral("JPEG %1 x %2, picture shown").arg(jpegWidth).arg(jpegHeight),
         combine(photo), "djpeg -outfile /dev/null (whole)", combine(djpeg), 1.0, -1, 0});

    const std::pair<const char *, int> damaged[] = {{"BMP of 1 KB claiming 8192 x 8192", 2},
                                                    {"GIF of 35 bytes claiming 65535 x 65535", 3},
                                                    {"JPEG cut in half", 4}};
    for (const auto &[figure, row] : damaged) {
      const Outcome moved = move(QStringLiteral("pics"), row, QStringLiteral("p"));
      // The peak above the program's own size before the move.
      Measure above = printedMsOf(moved, QStringLiteral("shown_ms"));
      above.peakKb = std::max<qint64>(0, above.peakKb - moved.field("idle_kb").toLongLong());
      add({section, QStringLiteral("%1, refused (peak above idle)").arg(QLatin1String(figure)),
           above, "100 ms budget", stallBudget, 1.0, 64, 0});
    }
    QFile::remove(jpegFile);
    QDir(folder).removeRecursively();
  }

  // ------------------------------------------------------------ batch

  // quillon-batch against the sqlite3 shell doing the same: every value of a
  // table to a file named by its key, and every file back into its row.
  void batch() {
    const int rows = s_.quick ? 100 : 10000;
    const qint64 pictureSize = 100 * 1024;
    const int repeats = s_.quick ? 1 : 3;
    const QByteArray picture = makeJpegOfSize(pictureSize);
    const QString figure = QStringLiteral("%1 values of %2").arg(rows).arg(sizeName(pictureSize));
    say(QStringLiteral("quillon-batch, SQLite, %1 ...").arg(figure));
    const QString db = path(QStringLiteral("batch.db"));
    const QString udl = path(QStringLiteral("batch.udl"));
    {
      QFile::remove(db);
      SqliteFile file(db);
      file.exec(QStringLiteral(
          "CREATE TABLE pics (id INTEGER PRIMARY KEY, name varchar(50), picture image)"));
      file.fill(QStringLiteral("pics"), rows, picture);
    }
    writeUdl(udl, QStringLiteral("Provider=SQLite;Data Source=%1").arg(db));

    const QString ours = path(QStringLiteral("batch-quillon"));
    const QString theirs = path(QStringLiteral("batch-sqlite3"));
    std::vector<Measure> exportOurs, exportTheirs, importOurs, importTheirs;
    for (int rep = 0; rep < repeats; ++rep) {
      freshFolders({ours, theirs});
      const Outcome exportedOurs =
          measured(batchRun("export", udl, "pics", ours), "quillon-batch export");
      exportOurs.push_back(measureOf(exportedOurs));
      Command shellExport;
      shellExport.argv = {
          QStringLiteral("sqlite3"), db,
          QStringLiteral("SELECT writefile('%1/' || id || '.jpg', picture) FROM pics").arg(theirs)};
      shellExport.stdoutPath = QStringLiteral("/dev/null");
      exportTheirs.push_back(
          flushed(measureOf(measured(shellExport, "sqlite3 writefile()")), theirs));
      if (exportedOurs.ok()) {
        expect(QDir(ours).entryList(QDir::Files).size() == rows,
               QStringLiteral("quillon-batch export wrote every value"));
        expectSame(theirs + QStringLiteral("/%1.jpg").arg(rows),
                   ours + QStringLiteral("/%1.jpg").arg(rows),
                   QStringLiteral("quillon-batch export, the last value"));
      }

      importOurs.push_back(
          measureOf(measured(batchRun("import", udl, "pics", ours), "quillon-batch import")));
      Command shellImport;
      shellImport.argv = {
          QStringLiteral("sqlite3"), db,
          QStringLiteral("UPDATE pics SET picture = readfile('%1/' || id || '.jpg')").arg(theirs)};
      importTheirs.push_back(measureOf(measured(shellImport, "sqlite3 readfile()")));
    }
    for (const QString &dir : {ours, theirs})
      QDir(dir).removeRecursively();
    QFile::remove(db);
    QFile::remove(udl);

    const QString section = QStringLiteral("quillon-batch, SQLite");
    const qint64 bytes = qint64(rows) * pictureSize;
    add({section, "export " + figure, combine(exportOurs), "sqlite3 writefile() + sync",
         combine(exportTheirs), 0.8, 100, bytes});
    add({section, "import " + figure, combine(importOurs), "sqlite3 readfile()",
         combine(importTheirs), 0.7, 100, bytes});
    if (pg_)
      postgresBatch(rows, repeats, picture, figure);
  }

  // The same against one psql session running a \copy per value, each way:
  // values out to files in binary COPY format, and those files back in.
  void postgresBatch(int rows, int repeats, const QByteArray &picture, const QString &figure) {
    say(QStringLiteral("quillon-batch, PostgreSQL (libpq), %1 ...").arg(figure));
    const QString table = pgTable(QStringLiteral("batch"));
    const QString copies = pgTable(QStringLiteral("batch_copies"));
    pgExec(QStringLiteral("DROP TABLE IF EXISTS %1; DROP TABLE IF EXISTS %2;"
                          "CREATE TABLE %1 (id integer PRIMARY KEY, picture bytea);"
                          "INSERT INTO %1 SELECT g, decode('%3', 'hex') "
                          "FROM generate_series(1, %4) g;"
                          "CREATE TABLE %2 (v bytea)")
               .arg(table, copies, QString::fromLatin1(picture.toHex()))
               .arg(rows));
    const QString udl = path(QStringLiteral("batch-pg.udl"));
    writeUdl(udl, data::postgresInitStringFromOdbc(s_.postgres));
    const QString ours = path(QStringLiteral("batch-pg-quillon"));
    const QString theirs = path(QStringLiteral("batch-pg-psql"));
    const QString exportScript = path(QStringLiteral("batch-export.sql"));
    const QString importScript = path(QStringLiteral("batch-import.sql"));
    {
      QFile out(exportScript), in(importScript);
      if (!out.open(QIODevice::WriteOnly) || !in.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write the psql scripts");
      for (int id = 1; id <= rows; ++id) {
        const QString file = QStringLiteral("%1/%2.pgcopy").arg(theirs).arg(id);
        out.write(QStringLiteral("\\copy (SELECT picture FROM %1 WHERE id = %2) TO '%3' WITH "
                                 "(FORMAT binary)\n")
                      .arg(table)
                      .arg(id)
                      .arg(file)
                      .toUtf8());
        in.write(QStringLiteral("\\copy %1 (v) FROM '%2' WITH (FORMAT binary)\n")
                     .arg(copies, file)
                     .toUtf8());
      }
    }
    std::vector<Measure> exportOurs, exportTheirs, importOurs, importTheirs;
    for (int rep = 0; rep < repeats; ++rep) {
      freshFolders({ours, theirs});
      pgExec(QStringLiteral("TRUNCATE %1").arg(copies));
      const Outcome exportedOurs =
          measured(batchRun("export", udl, table, ours), "quillon-batch export (PostgreSQL)");
      exportOurs.push_back(measureOf(exportedOurs));
      const Outcome exportedTheirs =
          measured(psql({QStringLiteral("-q"), QStringLiteral("-f"), exportScript}),
                   "psql \\copy TO per value");
      exportTheirs.push_back(flushed(measureOf(exportedTheirs), theirs));
      if (exportedOurs.ok() && exportedTheirs.ok()) {
        expect(QDir(ours).entryList(QDir::Files).size() == rows,
               QStringLiteral("quillon-batch export (PostgreSQL) wrote every value"));
        expectSame(ours + QStringLiteral("/%1.jpg").arg(rows),
                   theirs + QStringLiteral("/%1.pgcopy").arg(rows),
                   QStringLiteral("quillon-batch export (PostgreSQL), the last value"),
                   kCopyValueOffset);
      }
      importOurs.push_back(measureOf(
          measured(batchRun("import", udl, table, ours), "quillon-batch import (PostgreSQL)")));
      importTheirs.push_back(
          measureOf(measured(psql({QStringLiteral("-q"), QStringLiteral("-f"), importScript}),
                             "psql \\copy FROM per file")));
    }
    pgExec(QStringLiteral("DROP TABLE IF EXISTS %1; DROP TABLE IF EXISTS %2").arg(table, copies));
    for (const QString &dir : {ours, theirs})
      QDir(dir).removeRecursively();
    for (const QString &file : {udl, exportScript, importScript})
      QFile::remove(file);

    const QString section = QStringLiteral("quillon-batch, PostgreSQL through libpq");
    const qint64 bytes = qint64(rows) * qint64(picture.size());
    add({section, "export " + figure, combine(exportOurs), "psql \\copy TO + sync",
         combine(exportTheirs), 0.8, 100, bytes});
    add({section, "import " + figure, combine(importOurs), "psql \\copy FROM per file",
         combine(importTheirs), 0.7, 100, bytes});
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
