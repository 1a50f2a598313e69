// make-demo-db: the demo database's tables and values as the viewer and the
// file commands meet them, its refusal to overwrite, clean-up after a failed
// write, and the db.udl it writes.
#include "data/ConnectionSettings.h"
#include "data/DataLink.h"

#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSet>

#include <gif_lib.h>
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

using quillon::test::ScratchDir;

namespace {

const QString kTool = QStringLiteral(QUILLON_MAKE_DEMO_DB);

std::string text(const QString &s) {
  return s.toStdString();
}

std::string hex(const QByteArray &bytes) {
  return bytes.toHex(' ').toStdString();
}

QByteArray readFile(const QString &path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << text(path);
  return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << text(path);
  ASSERT_EQ(file.write(bytes), bytes.size());
}

struct ToolRun {
  bool finished = false; // exited normally within the time limit
  int exitCode = -1;
  QString errors;
};

ToolRun runTool(const QStringList &args, const std::function<void()> &inChild = {}) {
  QProcess process;
  process.setProgram(kTool);
  process.setArguments(args);
  if (inChild)
    process.setChildProcessModifier(inChild);
  process.start();
  ToolRun run;
  run.finished = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
  run.exitCode = process.exitCode();
  run.errors = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

quint16 word(const QByteArray &bytes, qsizetype at) {
  return quint16(quint8(bytes[at]) | quint8(bytes[at + 1]) << 8);
}

quint32 dword(const QByteArray &bytes, qsizetype at) {
  return quint32(word(bytes, at)) | quint32(word(bytes, at + 2)) << 16;
}

// The text an RTF reader shows, roughly: control words dropped, \par as a
// line end, \'xx read as Windows-1251 and \uN as a Unicode character.
QString rtfText(const QByteArray &rtf) {
  auto cp1251 = [](int byte) -> QChar {
    if (byte >= 0xC0)
      return QChar(0x0410 + byte - 0xC0);
    if (byte == 0xA8)
      return QChar(0x0401);
    if (byte == 0xB8)
      return QChar(0x0451);
    return byte < 0x80 ? QChar(byte) : QChar(u'?');
  };
  QString out;
  int skip = 0; // fallback characters after \uN
  for (qsizetype i = 0; i < rtf.size();) {
    const char c = rtf[i];
    if (c == '{' || c == '}' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    if (c != '\\') {
      if (skip > 0)
        --skip;
      else
        out += QChar(uchar(c));
      ++i;
      continue;
    }
    ++i;
    if (i >= rtf.size())
      break;
    const char d = rtf[i];
    if (d == '\'') {
      bool ok = false;
      const int byte = rtf.mid(i + 1, 2).toInt(&ok, 16);
      out += ok ? cp1251(byte) : QChar(u'\uFFFD');
      i += 3;
      continue;
    }
    if (!std::isalpha(uchar(d))) {
      out += QChar(uchar(d));
      ++i;
      continue;
    }
    QByteArray name;
    while (i < rtf.size() && std::isalpha(uchar(rtf[i])))
      name += rtf[i++];
    QByteArray number;
    if (i < rtf.size() && rtf[i] == '-')
      number += rtf[i++];
    while (i < rtf.size() && std::isdigit(uchar(rtf[i])))
      number += rtf[i++];
    if (i < rtf.size() && rtf[i] == ' ')
      ++i;
    if (name == "u") {
      out += QChar(char16_t(number.toInt()));
      skip = 1;
    } else if (name == "par") {
      out += QLatin1Char('\n');
    }
  }
  return out;
}

// giflib reads through a callback; this one reads from memory.
struct GifSource {
  QByteArray bytes;
  qsizetype at = 0;
};

int readGif(GifFileType *gif, GifByteType *into, int length) {
  auto *source = static_cast<GifSource *>(gif->UserData);
  const int n = int(std::min<qsizetype>(length, source->bytes.size() - source->at));
  std::memcpy(into, source->bytes.constData() + source->at, std::size_t(n));
  source->at += n;
  return n;
}

// One value read back with the storage class SQLite keeps it in.
struct Cell {
  int type = SQLITE_NULL;
  QByteArray bytes;
};

// The demo database made afresh in a temporary folder for each test.
class DemoDatabase : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = scratch_.file(QStringLiteral("demo.db"));
    const ToolRun run = runTool({path_});
    ASSERT_TRUE(run.finished) << text(run.errors);
    ASSERT_EQ(run.exitCode, 0) << text(run.errors);
    EXPECT_TRUE(run.errors.isEmpty()) << text(run.errors);
    ASSERT_EQ(
        sqlite3_open_v2(QFile::encodeName(path_).constData(), &db_, SQLITE_OPEN_READONLY, nullptr),
        SQLITE_OK);
  }
  void TearDown() override { sqlite3_close(db_); }

  // Every row of a query, each column as its storage class and bytes.
  std::vector<std::vector<Cell>> rows(const char *sql, const QString &param = QString()) {
    std::vector<std::vector<Cell>> result;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
      return result;
    }
    const QByteArray utf8 = param.toUtf8();
    if (!param.isNull())
      sqlite3_bind_text(stmt, 1, utf8.constData(), int(utf8.size()), SQLITE_STATIC);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      std::vector<Cell> row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        Cell cell;
        cell.type = sqlite3_column_type(stmt, i);
        const void *data = sqlite3_column_blob(stmt, i);
        cell.bytes = QByteArray(static_cast<const char *>(data), sqlite3_column_bytes(stmt, i));
        row.push_back(cell);
      }
      result.push_back(row);
    }
    EXPECT_EQ(rc, SQLITE_DONE) << sql << ": " << sqlite3_errmsg(db_);
    sqlite3_finalize(stmt);
    return result;
  }

  // The one value a query selects.
  Cell cell(const char *sql, const QString &param = QString()) {
    const auto result = rows(sql, param);
    EXPECT_EQ(result.size(), 1u) << sql << " with " << text(param);
    if (result.size() != 1 || result[0].empty())
      return Cell{SQLITE_NULL, QByteArray("<no such row>")};
    return result[0][0];
  }

  QByteArray docsData(const char *kind) {
    return cell("select Data from Docs where Kind = ?", QString::fromLatin1(kind)).bytes;
  }

  // (name, declared type in lower case, primary-key position) of each
  // column; SQLite spells the types it knows in capitals.
  std::vector<std::tuple<std::string, std::string, int>> columns(const char *table) {
    std::vector<std::tuple<std::string, std::string, int>> result;
    for (const auto &row :
         rows("select name, type, pk from pragma_table_info(?)", QString::fromUtf8(table)))
      result.emplace_back(row[0].bytes.toStdString(), row[1].bytes.toLower().toStdString(),
                          row[2].bytes.toInt());
    return result;
  }

  ScratchDir scratch_;
  QString path_;
  sqlite3 *db_ = nullptr;
};

TEST_F(DemoDatabase, HasItsThreeTablesWithTheirDeclaredColumns) {
  QStringList tables;
  for (const auto &row : rows("select name from sqlite_master where type = 'table' order by name"))
    tables << QString::fromUtf8(row[0].bytes);
  EXPECT_EQ(tables, QStringList({"Docs", "Loose", "Order Lines"})) << text(tables.join(", "));

  using C = std::tuple<std::string, std::string, int>;
  EXPECT_EQ(columns("Docs"), (std::vector<C>{{"ID", "integer", 1},
                                             {"Name", "varchar(50)", 0},
                                             {"Kind", "varchar(20)", 0},
                                             {"Data", "image", 0},
                                             {"Notes", "text", 0},
                                             {"Small", "varbinary(50)", 0},
                                             {"Counter", "int", 0}}));
  EXPECT_EQ(columns("Loose"), (std::vector<C>{{"Title", "varchar(40)", 0}, {"Body", "text", 0}}));

  const auto orderLines = columns("Order Lines");
  ASSERT_FALSE(orderLines.empty());
  EXPECT_EQ(std::get<2>(orderLines.front()), 1) << "its first column is the key";
  EXPECT_TRUE(std::any_of(orderLines.begin(), orderLines.end(),
                          [](const C &c) { return std::get<1>(c) == "image"; }));
}

TEST_F(DemoDatabase, DocsHoldsOneRowPerKindOfValue) {
  QStringList kinds;
  for (const auto &row : rows("select Kind from Docs order by ID"))
    kinds << QString::fromUtf8(row[0].bytes);
  EXPECT_EQ(kinds, QStringList({"JPEG", "GIF", "BMP", "WMF", "ICO", "PNG", "RTF", "Text", "Text",
                                "NULL", "Empty"}))
      << text(kinds.join(", "));

  // Every Notes is one line; Counter is an integer everywhere; Small holds a
  // few bytes in some rows and never more than its declared 50.
  int smallValues = 0;
  for (const auto &row : rows("select Name, Notes, Small, Counter, Kind from Docs")) {
    const std::string name = row[0].bytes.toStdString();
    if (row[4].bytes == "NULL") {
      EXPECT_EQ(row[1].type, SQLITE_NULL) << name;
    } else {
      EXPECT_EQ(row[1].type, SQLITE_TEXT) << name;
      EXPECT_FALSE(row[1].bytes.isEmpty()) << name;
      EXPECT_FALSE(row[1].bytes.contains('\n')) << name;
    }
    if (row[2].type != SQLITE_NULL) {
      EXPECT_EQ(row[2].type, SQLITE_BLOB) << name;
      EXPECT_LE(row[2].bytes.size(), 50) << name;
      if (!row[2].bytes.isEmpty())
        ++smallValues;
    }
    EXPECT_EQ(row[3].type, SQLITE_INTEGER) << name;
  }
  EXPECT_GE(smallValues, 3);
}

TEST_F(DemoDatabase, EachValueStartsWithItsFormatsSignature) {
  struct Case {
    const char *kind;
    QByteArray signature;
  };
  const Case cases[] = {
      {"JPEG", QByteArray("\xFF\xD8\xFF", 3)},
      {"GIF", QByteArray("GIF8")},
      {"BMP", QByteArray("BM")},
      {"WMF", QByteArray("\xD7\xCD\xC6\x9A", 4)},
      {"ICO", QByteArray("\x00\x00\x01\x00", 4)},
      {"PNG", QByteArray("\x89PNG\r\n\x1A\n", 8)},
      {"RTF", QByteArray("{\\rtf1")},
  };
  for (const Case &c : cases) {
    const Cell value = cell("select Data from Docs where Kind = ?", QString::fromLatin1(c.kind));
    EXPECT_EQ(value.type, SQLITE_BLOB) << c.kind;
    EXPECT_EQ(hex(value.bytes.left(c.signature.size())), hex(c.signature)) << c.kind;
  }
  // A JPEG ends with its end-of-image marker.
  EXPECT_EQ(hex(docsData("JPEG").right(2)), "ff d9");
}

TEST_F(DemoDatabase, PicturesDecodeAtTheirSizesAndShowTheirSubjects) {
  struct Case {
    const char *kind;
    const char *format;
    QSize size;
  };
  const Case cases[] = {{"JPEG", "JPG", {320, 200}},
                        {"GIF", "GIF", {240, 160}},
                        {"BMP", "BMP", {128, 128}},
                        {"ICO", "ICO", {32, 32}},
                        {"PNG", "PNG", {120, 120}}};
  std::map<std::string, QImage> images;
  for (const Case &c : cases) {
    const QImage image = QImage::fromData(docsData(c.kind), c.format);
    ASSERT_FALSE(image.isNull()) << c.kind;
    EXPECT_EQ(image.size(), c.size) << c.kind << ": " << image.width() << "x" << image.height();
    // A real drawing, not a flat fill.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
      for (int x = 0; x < image.width(); x += 2)
        colours.insert(image.pixel(x, y));
    EXPECT_GE(colours.size(), 5) << c.kind;
    images[c.kind] = image;
  }

  // The landscape: sky above, grass below.
  const QColor sky = images["JPEG"].pixelColor(10, 10);
  const QColor grass = images["JPEG"].pixelColor(10, 195);
  EXPECT_GT(sky.blue(), sky.red() + 60) << text(sky.name());
  EXPECT_GT(grass.green(), grass.blue() + 40) << text(grass.name());
  // The face: yellow in the middle of the forehead.
  const QColor skin = images["BMP"].pixelColor(64, 25);
  EXPECT_GT(skin.red(), 200) << text(skin.name());
  EXPECT_LT(skin.blue(), 120) << text(skin.name());
  // The icon keeps its transparent corners.
  EXPECT_EQ(images["ICO"].pixelColor(0, 31).alpha(), 0);
  EXPECT_EQ(images["ICO"].pixelColor(31, 31).alpha(), 0);
}

TEST_F(DemoDatabase, GifDecodesWithGiflib) {
  int error = 0;
  GifSource source{docsData("GIF")};
  GifFileType *gif = DGifOpen(&source, readGif, &error);
  ASSERT_NE(gif, nullptr) << GifErrorString(error);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
  EXPECT_EQ(gif->SWidth, 240);
  EXPECT_EQ(gif->SHeight, 160);
  ASSERT_EQ(gif->ImageCount, 1);
  const SavedImage &frame = gif->SavedImages[0];
  EXPECT_EQ(frame.ImageDesc.Width, 240);
  EXPECT_EQ(frame.ImageDesc.Height, 160);
  const ColorMapObject *map = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
  ASSERT_NE(map, nullptr);

  // The chart's flat colours come through exactly: the first bar is blue,
  // the second orange, the background white.
  auto colourAt = [&](int x, int y) {
    const GifColorType c = map->Colors[frame.RasterBits[y * frame.ImageDesc.Width + x]];
    return QColor(c.Red, c.Green, c.Blue);
  };
  EXPECT_EQ(colourAt(50, 130), QColor(50, 100, 200)) << text(colourAt(50, 130).name());
  EXPECT_EQ(colourAt(80, 130), QColor(240, 140, 30)) << text(colourAt(80, 130).name());
  EXPECT_EQ(colourAt(235, 5), QColor(Qt::white)) << text(colourAt(235, 5).name());
  int closeError = 0;
  EXPECT_EQ(DGifCloseFile(gif, &closeError), GIF_OK) << GifErrorString(closeError);

  // The pencil of the order lines, too.
  GifSource pencil{cell("select Photo from [Order Lines] where Product = ?", "Pencil").bytes};
  gif = DGifOpen(&pencil, readGif, &error);
  ASSERT_NE(gif, nullptr) << GifErrorString(error);
  EXPECT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
  EXPECT_EQ(gif->SWidth, 64);
  DGifCloseFile(gif, &closeError);
}

TEST_F(DemoDatabase, WmfChecksumIsTheXorOfTheFirstTenHeaderWords) {
  const QByteArray wmf = docsData("WMF");
  ASSERT_GE(wmf.size(), 22 + 18);
  quint16 checksum = 0;
  for (int i = 0; i < 10; ++i)
    checksum ^= word(wmf, 2 * i);
  EXPECT_EQ(word(wmf, 20), checksum);
  EXPECT_NE(checksum, 0) << "a checksum of zero would hide a missing one";
}

TEST_F(DemoDatabase, WmfHeadersAndRecordsAreWellFormed) {
  const QByteArray wmf = docsData("WMF");
  ASSERT_GE(wmf.size(), 22 + 18 + 6);
  // Placeable header: key, zero handle, bounding box, units per inch.
  EXPECT_EQ(dword(wmf, 0), 0x9AC6CDD7u);
  EXPECT_EQ(word(wmf, 4), 0);
  const qint16 left = qint16(word(wmf, 6)), top = qint16(word(wmf, 8));
  const qint16 right = qint16(word(wmf, 10)), bottom = qint16(word(wmf, 12));
  EXPECT_EQ(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), QRect(0, 0, 240, 160));
  EXPECT_EQ(word(wmf, 14), 96);
  EXPECT_EQ(dword(wmf, 16), 0u);

  // Metafile header.
  const qsizetype meta = 22;
  EXPECT_EQ(word(wmf, meta), 1);
  EXPECT_EQ(word(wmf, meta + 2), 9);
  EXPECT_EQ(word(wmf, meta + 4), 0x0300);
  EXPECT_EQ(qsizetype(dword(wmf, meta + 6)) * 2, wmf.size() - meta) << "size in words";
  const int objectSlots = word(wmf, meta + 10);
  const quint32 maxRecord = dword(wmf, meta + 12);
  EXPECT_EQ(word(wmf, meta + 16), 0);

  // Each record's size in words, by function; a polygon's follows its count.
  const std::map<quint16, quint32> sizes = {{0x020B, 5}, {0x020C, 5}, {0x0102, 4}, {0x02FA, 8},
                                            {0x02FC, 7}, {0x012D, 4}, {0x01F0, 4}, {0x041B, 7},
                                            {0x0418, 7}, {0x0214, 5}, {0x0213, 5}, {0x0000, 3}};
  std::vector<bool> live; // the player's object table
  std::map<quint16, int> seen;
  quint32 largest = 0;
  qsizetype at = meta + 18;
  bool ended = false;
  while (!ended && at + 6 <= wmf.size()) {
    const quint32 size = dword(wmf, at);
    const quint16 function = word(wmf, at + 4);
    ASSERT_GE(size, 3u) << "record at byte " << at;
    ASSERT_LE(at + qsizetype(size) * 2, wmf.size()) << "record at byte " << at;
    ++seen[function];
    largest = std::max(largest, size);
    if (function == 0x0324) {
      EXPECT_EQ(size, 4 + 2u * word(wmf, at + 6)) << "polygon at byte " << at;
    } else {
      const auto known = sizes.find(function);
      ASSERT_NE(known, sizes.end()) << "function " << std::hex << function;
      EXPECT_EQ(size, known->second) << "function " << std::hex << function;
    }
    if (function == 0x02FA || function == 0x02FC) {
      const auto free = std::find(live.begin(), live.end(), false);
      if (free == live.end())
        live.push_back(true);
      else
        *free = true;
    } else if (function == 0x012D || function == 0x01F0) {
      const quint16 object = word(wmf, at + 6);
      ASSERT_LT(object, live.size()) << "object " << object << " at byte " << at;
      EXPECT_TRUE(live[object]) << "object " << object << " at byte " << at;
      if (function == 0x01F0)
        live[object] = false;
    }
    ended = function == 0x0000;
    at += qsizetype(size) * 2;
  }
  EXPECT_TRUE(ended) << "no end-of-file record";
  EXPECT_EQ(at, wmf.size()) << "bytes after the end-of-file record";
  EXPECT_EQ(hex(wmf.right(6)), "03 00 00 00 00 00");
  EXPECT_EQ(maxRecord, largest);
  EXPECT_GE(objectSlots, int(live.size()));
  const quint16 drawn[] = {0x020B, 0x020C, 0x02FA, 0x02FC, 0x012D, 0x01F0,
                           0x041B, 0x0418, 0x0324, 0x0214, 0x0213};
  for (const quint16 function : drawn)
    EXPECT_GT(seen[function], 0) << "function " << std::hex << function;
}

TEST_F(DemoDatabase, NullAndEmptyValuesAreDifferent) {
  const auto nothing = rows("select Data, Notes from Docs where Name = 'Nothing'");
  ASSERT_EQ(nothing.size(), 1u);
  EXPECT_EQ(nothing[0][0].type, SQLITE_NULL);
  EXPECT_EQ(nothing[0][1].type, SQLITE_NULL);

  const Cell empty = cell("select Data from Docs where Name = 'Empty'");
  EXPECT_EQ(empty.type, SQLITE_BLOB);
  EXPECT_EQ(empty.bytes.size(), 0);
  EXPECT_EQ(cell("select length(Data) from Docs where Name = 'Empty'").bytes, "0");
}

TEST_F(DemoDatabase, TextsKeepTheirEncodingsAndLineEnds) {
  const QByteArray russian = cell("select Data from Docs where Name = 'Russian text'").bytes;
  const QString decoded = QString::fromUtf8(russian);
  EXPECT_EQ(decoded.toUtf8(), russian) << "valid UTF-8";
  EXPECT_TRUE(decoded.contains(QStringLiteral("Съешь же ещё этих мягких французских булок")));
  EXPECT_TRUE(russian.contains('\n'));
  EXPECT_FALSE(russian.contains('\r'));

  const QByteArray english = cell("select Data from Docs where Name = 'English text'").bytes;
  EXPECT_TRUE(english.contains("The quick brown fox"));
  EXPECT_EQ(english.count("\n"), english.count("\r\n")) << "every line ends with CR LF";
  EXPECT_GT(english.count("\r\n"), 2);
  EXPECT_TRUE(std::all_of(english.begin(), english.end(), [](char c) { return uchar(c) < 0x80; }));

  const QByteArray rtf = docsData("RTF");
  EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1251")) << rtf.left(30).toStdString();
  EXPECT_TRUE(rtf.contains("{\\fonttbl"));
  EXPECT_TRUE(rtf.contains("\\b ") && rtf.contains("\\i "));
  EXPECT_EQ(rtf.count('{'), rtf.count('}'));
  EXPECT_TRUE(std::all_of(rtf.begin(), rtf.end(), [](char c) { return uchar(c) < 0x80; }))
      << "RTF is 7-bit: other characters are escaped";
  const QString shown = rtfText(rtf);
  for (const QString &expected :
       {QStringLiteral("This letter has bold, italic and bold italic words"),
        QStringLiteral("Здравствуйте!"),
        QStringLiteral("Это письмо набрано в кодировке Windows-1251: жирный, курсив."),
        QStringLiteral("Эта строка записана кодами Юникода: ёлка, щука, съезд."),
        QStringLiteral("Сердечно ваш, Quillon")})
    EXPECT_TRUE(shown.contains(expected)) << text(expected) << "\nnot in:\n" << text(shown);

  // The text column's RTF note reads the same way.
  const QString note = rtfText(cell("select Body from Loose where Title = ?", "Записка").bytes);
  EXPECT_TRUE(note.contains(QStringLiteral("Напоминание: полить цветок и позвонить домой.")))
      << text(note);
}

TEST_F(DemoDatabase, OrderLinesNeedsBracketsAndLooseHasNoKey) {
  const auto lines = rows("select Product, Photo from [Order Lines] order by 1");
  EXPECT_GE(lines.size(), 3u);
  int photos = 0;
  for (const auto &line : lines)
    if (line[1].type == SQLITE_BLOB && !line[1].bytes.isEmpty()) {
      ++photos;
      EXPECT_FALSE(QImage::fromData(line[1].bytes).isNull()) << line[0].bytes.toStdString();
    }
  EXPECT_GE(photos, 3);

  EXPECT_GE(rows("select * from Loose").size(), 3u);
  for (const auto &[name, type, pk] : columns("Loose"))
    EXPECT_EQ(pk, 0) << name;
  EXPECT_TRUE(rows("select name from pragma_index_list('Loose')").empty());
  EXPECT_EQ(cell("select count(*) from Loose where Title = 'Twin'").bytes, "2");
}

// ---------------------------------------------------------------- the tool

TEST(MakeDemoDb, RefusesAnExistingFileAndLeavesItUnchanged) {
  ScratchDir scratch;
  const QString path = scratch.file(QStringLiteral("demo.db"));
  ToolRun run = runTool({path});
  ASSERT_EQ(run.exitCode, 0) << text(run.errors);
  const QByteArray before = readFile(path);
  const QDateTime modified = QFileInfo(path).lastModified();
  ASSERT_FALSE(before.isEmpty());

  run = runTool({path});
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.errors.contains(path)) << text(run.errors);
  EXPECT_TRUE(run.errors.contains(QStringLiteral("already exists"))) << text(run.errors);
  EXPECT_EQ(readFile(path), before);
  EXPECT_EQ(QFileInfo(path).lastModified(), modified);
  EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("-journal")));

  // Any file, not only a database; and a link whose target is missing.
  const QString other = scratch.file(QStringLiteral("notes.txt"));
  writeFile(other, "keep me\n");
  run = runTool({other});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.errors.contains(other)) << text(run.errors);
  EXPECT_EQ(readFile(other), "keep me\n");

  const QString link = scratch.file(QStringLiteral("link.db"));
  const QString target = scratch.file(QStringLiteral("target.db"));
  ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
            0);
  run = runTool({link});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_FALSE(QFileInfo::exists(target));
}

TEST(MakeDemoDb, AFailedWriteRemovesThePartialFile) {
  ScratchDir scratch;
  const QString path = scratch.file(QStringLiteral("demo.db"));
  // Files may not grow past 8 KiB, so writing the database fails half-way;
  // EFBIG then reaches SQLite instead of a signal ending the tool.
  const ToolRun run = runTool({path}, [] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{8192, 8192};
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_TRUE(run.finished) << text(run.errors);
  EXPECT_NE(run.exitCode, 0);
  EXPECT_TRUE(run.errors.contains(path)) << text(run.errors);
  EXPECT_TRUE(run.errors.contains(QStringLiteral("removed"))) << text(run.errors);
  EXPECT_FALSE(QFileInfo::exists(path));
  EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("-journal")));
  EXPECT_EQ(QDir(scratch.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

TEST(MakeDemoDb, AMissingFolderFailsNamingThePath) {
  ScratchDir scratch;
  const QString path = scratch.file(QStringLiteral("no such folder/demo.db"));
  const ToolRun run = runTool({path});
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.errors.contains(path)) << text(run.errors);
  EXPECT_FALSE(QFileInfo::exists(scratch.file(QStringLiteral("no such folder"))));
}

TEST(MakeDemoDb, WrongArgumentsPrintTheUsage) {
  ScratchDir scratch;
  const QString path = scratch.file(QStringLiteral("demo.db"));
  for (const QStringList &args :
       {QStringList(), QStringList{path, path}, QStringList{QStringLiteral("--udl"), path},
        QStringList{QStringLiteral("--force"), path}}) {
    const ToolRun run = runTool(args);
    EXPECT_EQ(run.exitCode, 2) << text(args.join(' '));
    EXPECT_TRUE(run.errors.contains(QStringLiteral("usage:"))) << text(run.errors);
  }
  EXPECT_FALSE(QFileInfo::exists(path));
}

// ---------------------------------------------------------------- db.udl

TEST(MakeDemoDbDataLink, IsWrittenByteForByteAndOpensTheDatabase) {
  ScratchDir scratch;
  const QString udl = scratch.file(QStringLiteral("db.udl"));
  const QString database = scratch.file(QStringLiteral("demo.db"));
  const ToolRun run = runTool({QStringLiteral("--udl"), udl, database});
  ASSERT_EQ(run.exitCode, 0) << text(run.errors);
  EXPECT_FALSE(QFileInfo::exists(database)) << "--udl writes only the data-link file";

  const char *const lines = "[oledb]\r\n"
                            "; Everything after this line is an OLE DB initstring\r\n"
                            "Provider=SQLite;Data Source=demo.db\r\n";
  QByteArray expected("\xFF\xFE", 2);
  for (const char *c = lines; *c; ++c)
    expected.append(*c).append('\0');
  EXPECT_EQ(hex(readFile(udl)), hex(expected));

  using namespace quillon::data;
  const std::optional<QString> content = readDataLinkText(udl);
  ASSERT_TRUE(content.has_value());
  const ConnectionSettings settings =
      connectionSettingsFrom(initStringOf(*content), scratch.path(), {});
  EXPECT_EQ(settings.backend, ConnectionSettings::Backend::Sqlite);
  EXPECT_EQ(text(settings.sqliteFile), text(QFileInfo(database).absoluteFilePath()));
}

TEST(MakeDemoDbDataLink, NamesTheDatabaseRelativeToItsOwnFolder) {
  ScratchDir scratch;
  ASSERT_TRUE(QDir(scratch.path()).mkdir(QStringLiteral("app")));
  const QString udl = scratch.file(QStringLiteral("app/db.udl"));
  const QString database = scratch.file(QStringLiteral("data; v2/demo.db"));
  const ToolRun run = runTool({QStringLiteral("--udl"), udl, database});
  ASSERT_EQ(run.exitCode, 0) << text(run.errors);

  using namespace quillon::data;
  const QString content = readDataLinkText(udl).value_or(QString());
  EXPECT_TRUE(content.contains(QStringLiteral("Data Source=\"../data; v2/demo.db\"\r\n")))
      << text(content);
  const ConnectionSettings settings =
      connectionSettingsFrom(initStringOf(content), scratch.file(QStringLiteral("app")), {});
  EXPECT_EQ(text(settings.sqliteFile), text(QFileInfo(database).absoluteFilePath()));
}

TEST(MakeDemoDbDataLink, RefusesAnExistingFile) {
  ScratchDir scratch;
  const QString udl = scratch.file(QStringLiteral("db.udl"));
  writeFile(udl, "mine");
  const ToolRun run =
      runTool({QStringLiteral("--udl"), udl, scratch.file(QStringLiteral("demo.db"))});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.errors.contains(udl)) << text(run.errors);
  EXPECT_EQ(readFile(udl), "mine");
}

} // namespace
