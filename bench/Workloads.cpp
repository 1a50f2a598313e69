#include "bench/Workloads.h"

#include "bench/Spawn.h"

#include "data/ByteSource.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Query.h"
#include "viewer/PictureDecoders.h"
#include "viewer/RtfReader.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace quillon::bench {

namespace {

void print(const QString &line) {
  std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
}

int fail(const QString &message) {
  std::fprintf(stderr, "quillon-bench: %s\n", qPrintable(message));
  return 1;
}

// The one row that load and save work on.
std::unique_ptr<data::Query> openRow(data::Connection &connection, const QString &table) {
  auto query = std::make_unique<data::Query>(QStringLiteral("qrList"), connection);
  query->setSQL({QStringLiteral("SELECT * FROM %1 WHERE id = 1").arg(table)});
  query->open();
  if (query->recordCount() != 1)
    throw data::DataError(QStringLiteral("%1 has no row 1").arg(table));
  return query;
}

void openConnection(data::Connection &connection, const QString &init) {
  connection.setConnectionString(init);
  connection.open();
}

// Times the steps of one operation; the whole is what the run reports.
class Phases {
public:
  Phases() : start_(now()), last_(start_) {}
  void mark(const char *name) {
    const double t = now();
    parts_
        << QStringLiteral("%1 %2 ms").arg(QLatin1String(name)).arg((t - last_) * 1000, 0, 'f', 1);
    last_ = t;
  }
  void print() const {
    quillon::bench::print(QStringLiteral("seconds=%1").arg(last_ - start_, 0, 'f', 6));
    quillon::bench::print(QStringLiteral("phases=%1").arg(parts_.join(QStringLiteral(", "))));
  }

private:
  double start_;
  double last_;
  QStringList parts_;
};

int load(const QString &init, const QString &table, const QString &path) {
  Phases phases;
  data::Connection connection;
  openConnection(connection, init);
  phases.mark("connect");
  auto query = openRow(connection, table);
  phases.mark("open");
  // An observer as the transfer command's progress dialog installs one.
  query->transfer.observer = [](qint64, qint64) {};
  data::Field &field = query->fieldByName(QStringLiteral("v"));
  query->edit();
  field.loadFromFile(path);
  phases.mark("load");
  query->checkBrowseMode();
  phases.mark("post");
  if (query->state() != data::Query::State::Browse)
    return fail(QStringLiteral("the row was not posted"));
  phases.print();
  print(QStringLiteral("bytes=%1").arg(field.valueSize()));
  return 0;
}

int save(const QString &init, const QString &table, const QString &path) {
  Phases phases;
  data::Connection connection;
  openConnection(connection, init);
  phases.mark("connect");
  auto query = openRow(connection, table);
  phases.mark("open");
  query->transfer.observer = [](qint64, qint64) {};
  data::Field &field = query->fieldByName(QStringLiteral("v"));
  field.saveToFile(path);
  phases.mark("save");
  phases.print();
  print(QStringLiteral("bytes=%1").arg(field.valueSize()));
  return 0;
}

int open(const QString &init, const QString &statement) {
  Phases phases;
  data::Connection connection;
  openConnection(connection, init);
  phases.mark("connect");
  data::Query query(QStringLiteral("qrList"), connection);
  query.setSQL({statement});
  query.open();
  phases.mark("open");
  phases.print();
  print(QStringLiteral("rows=%1").arg(query.recordCount()));
  // What the cache holds of the large values, and the last one as the
  // viewer would read it.
  qint64 held = 0;
  int deferred = 0;
  const data::Field *large = nullptr;
  for (const auto &field : query.fields()) {
    if (!field->isLargeValue())
      continue;
    large = field.get();
    for (int row = 0; row < query.recordCount(); ++row) {
      const data::CellValue &value = query.cell(row, field->index());
      deferred += value.isDeferred() ? 1 : 0;
      held += value.isDeferred() ? 0 : value.size();
    }
  }
  print(QStringLiteral("held=%1").arg(held));
  print(QStringLiteral("deferred=%1").arg(deferred));
  if (large) {
    // Hashed chunk by chunk, as a transfer reads it: the value may be the
    // largest the engine keeps.
    query.last();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    data::copyInChunks(*query.createBlobStream(*large), [&hash](const char *data, qint64 size) {
      hash.addData({data, size});
    });
    print(QStringLiteral("last=%1").arg(QString::fromLatin1(hash.result().toHex())));
  }
  return 0;
}

std::optional<QByteArray> readFile(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return std::nullopt;
  return file.readAll();
}

// Decodes REPEAT times and reports the median; Qt's own reader when
// `withQt`, else Quillon's decoders and the image the viewer draws.
int decode(int argc, char **argv, const QString &path, int repeat, bool withQt) {
  const std::optional<QByteArray> value = readFile(path);
  if (!value)
    return fail(QStringLiteral("cannot read %1").arg(path));
  // Metafile text needs fonts, and fonts need an application object; the
  // other decoders need none, as in quillon-render's first steps.
  std::optional<QGuiApplication> app;
  if (withQt || viewer::pictureFormatOf(value->left(64)) == viewer::PictureFormat::Wmf) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
      qputenv("QT_QPA_PLATFORM", "offscreen");
    app.emplace(argc, argv);
  }
  std::vector<double> times;
  QSize size;
  for (int i = 0; i < qMax(1, repeat); ++i) {
    const double start = now();
    QImage image;
    if (withQt) {
      QBuffer buffer;
      buffer.setData(*value);
      QImageReader reader(&buffer);
      image = reader.read();
      if (image.isNull())
        return fail(QStringLiteral("Qt cannot read %1: %2").arg(path, reader.errorString()));
    } else {
      const viewer::DecodeResult result = viewer::decodePicture(*value);
      if (!result.ok() || result.picture->isNull())
        return fail(QStringLiteral("%1: not decoded: %2").arg(path, result.error));
      image = viewer::pictureImage(*result.picture);
      if (image.isNull())
        return fail(QStringLiteral("%1: no image").arg(path));
    }
    times.push_back(now() - start);
    size = image.size();
  }
  std::sort(times.begin(), times.end());
  print(QStringLiteral("seconds=%1").arg(times[times.size() / 2], 0, 'f', 6));
  print(QStringLiteral("width=%1").arg(size.width()));
  print(QStringLiteral("height=%1").arg(size.height()));
  return 0;
}

// Reads an RTF document REPEAT times as the viewer does and reports the
// median time and the characters read.
int readRtfFile(const QString &path, int repeat) {
  const std::optional<QByteArray> value = readFile(path);
  if (!value)
    return fail(QStringLiteral("cannot read %1").arg(path));
  std::vector<double> times;
  qsizetype characters = 0;
  for (int i = 0; i < qMax(1, repeat); ++i) {
    const double start = now();
    const auto document = viewer::readRtf(*value);
    if (!document)
      return fail(QStringLiteral("%1 is not RTF").arg(path));
    characters = (*document)->characterCount();
    times.push_back(now() - start);
  }
  std::sort(times.begin(), times.end());
  print(QStringLiteral("seconds=%1").arg(times[times.size() / 2], 0, 'f', 6));
  print(QStringLiteral("characters=%1").arg(characters));
  return 0;
}

} // namespace

int runWorkload(const QStringList &args) {
  // QGuiApplication wants the original argv; one is made up from args.
  static QByteArray name = QByteArrayLiteral("quillon-bench");
  static char *fakeArgv[] = {name.data(), nullptr};
  int fakeArgc = 1;
  const QString mode = args.value(0);
  try {
    if (mode == QLatin1String("load") && args.size() == 4)
      return load(args[1], args[2], args[3]);
    if (mode == QLatin1String("save") && args.size() == 4)
      return save(args[1], args[2], args[3]);
    if (mode == QLatin1String("open") && args.size() == 3)
      return open(args[1], args[2]);
    if ((mode == QLatin1String("decode") || mode == QLatin1String("qt-decode")) && args.size() == 3)
      return decode(fakeArgc, fakeArgv, args[1], args[2].toInt(),
                    mode == QLatin1String("qt-decode"));
    if (mode == QLatin1String("rtf") && args.size() == 3)
      return readRtfFile(args[1], args[2].toInt());
  } catch (const data::DataError &e) {
    return fail(e.message());
  }
  return fail(QStringLiteral("unknown workload: %1").arg(args.join(QLatin1Char(' '))));
}

} // namespace quillon::bench
