#include "batch/FileNames.h"
#include "batch/ValueType.h"

#include <gtest/gtest.h>

using namespace quillon::batch;

namespace {

QString expanded(const QString &pattern, const std::map<QString, QString> &row) {
  QString error;
  const auto parsed = NamePattern::parse(pattern, &error);
  EXPECT_TRUE(parsed) << error.toStdString();
  return parsed ? parsed->expand([&](const QString &c) { return row.at(c); }) : QString();
}

TEST(NamePatternTest, PlaceholdersTakeTheRowsColumns) {
  const std::map<QString, QString> row{{"ID", "7"}, {"Name", "Ёжик"}};
  EXPECT_EQ(expanded("{ID}", row), "7");
  EXPECT_EQ(expanded("{ID}-{Name}", row), "7-Ёжик");
  EXPECT_EQ(expanded("photo {{{ID}}}", row), "photo {7}");
  QString error;
  EXPECT_EQ(NamePattern::parse("{ID}-{Name}-{ID}", &error)->columns(), (QStringList{"ID", "Name"}));
  for (const char *bad : {"{ID", "ID}", "{}", ""}) {
    SCOPED_TRACE(bad);
    error.clear();
    EXPECT_FALSE(NamePattern::parse(bad, &error));
    EXPECT_FALSE(error.isEmpty());
  }
}

TEST(NamePatternTest, NamesStayOneFileInsideTheFolder) {
  EXPECT_EQ(safeFileName("a/b\\c"), "a_b_c");
  EXPECT_EQ(safeFileName("../../etc/passwd"), ".._.._etc_passwd");
  EXPECT_EQ(safeFileName(".."), "__");
  EXPECT_EQ(safeFileName("."), "_");
  EXPECT_EQ(safeFileName(""), "_");
  EXPECT_EQ(safeFileName("what? *now* <a|b> \"c\": d"), "what_ _now_ _a_b_ _c__ d");
  EXPECT_EQ(safeFileName(QString::fromUtf8("tab\there\nnew")), "tab_here_new");
  EXPECT_EQ(safeFileName("  blanks stay  "), "  blanks stay  ");
  EXPECT_EQ(safeFileName("Фото №1"), "Фото №1");
  // Cut between characters: 'Ж' is two bytes, the emoji four.
  EXPECT_EQ(safeFileName(QString(150, QChar(0x416)), 9), QString(4, QChar(0x416)));
  EXPECT_EQ(safeFileName(QString::fromUtf8("ab\xf0\x9f\x98\x80"), 5), "ab");
}

TEST(NamePatternTest, NamesTakenAreNumberedNeverShared) {
  NameRegister names;
  const auto none = [](const QString &) { return false; };
  EXPECT_EQ(names.claim("photo", "jpg", none), "photo.jpg");
  EXPECT_EQ(names.claim("photo", "jpg", none), "photo-2.jpg");
  EXPECT_EQ(names.claim("PHOTO", "jpg", none), "PHOTO-3.jpg") << "as a case-blind disk sees it";
  EXPECT_EQ(names.claim("photo", "gif", none), "photo.gif");
  EXPECT_EQ(names.claim("notes", "", none), "notes");
  // A number already on the disk, or given to another row, is passed over.
  const auto onDisk = [](const QString &name) { return name == "a.txt" || name == "a-2.txt"; };
  EXPECT_EQ(names.claim("a", "txt", onDisk), "a-3.txt");
  names.reserve("b-2.txt");
  EXPECT_EQ(names.claim("b", "txt", none), "b.txt");
  EXPECT_EQ(names.claim("b", "txt", none), "b-3.txt");
}

QByteArray zipWith(const QByteArrayList &names) {
  QByteArray zip;
  for (const QByteArray &name : names) {
    QByteArray header("PK\x03\x04", 4);
    header += QByteArray(26, '\0'); // a local header: the name's length at 26
    header[26] = char(name.size());
    zip += header + name + QByteArray(40, 'x'); // and some "compressed" bytes
  }
  return zip;
}

TEST(ValueTypeTest, ExtensionsComeFromTheFirstBytes) {
  const std::pair<QByteArray, const char *> cases[] = {
      {QByteArray("\xff\xd8\xff\xe0\0\x10JFIF", 10), "jpg"},
      {"GIF89a\x01\0", "gif"},
      {"BM6\0\0\0", "bmp"},
      {QByteArray("\xd7\xcd\xc6\x9a\0\0", 6), "wmf"},
      {QByteArray("\0\0\x01\0\x01\0", 6), "ico"},
      {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR", "png"},
      {"%PDF-1.7\n", "pdf"},
      {"{\\rtf1\\ansi hello}", "rtf"},
      {zipWith({"[Content_Types].xml", "_rels/.rels", "word/document.xml"}), "docx"},
      {zipWith({"[Content_Types].xml", "xl/workbook.xml"}), "xlsx"},
      {zipWith({"[Content_Types].xml", "ppt/presentation.xml"}), "pptx"},
      {zipWith({"readme.txt"}), "zip"},
      {"plain text\r\nline two\t\n", "txt"},
      {"\xcf\xf0\xe8\xe2\xe5\xf2", "txt"}, // Windows-1251
      {"Привет", "txt"},
      {QByteArray("text\0with a zero", 16), "bin"},
      {"\x01\x02\x03", "bin"},
      {"", "bin"},
  };
  for (const auto &[bytes, extension] : cases) {
    SCOPED_TRACE(bytes.left(16).toHex(' ').toStdString());
    EXPECT_EQ(extensionFor(bytes), extension);
  }
  // Only the first bytes are looked at: a control character further on
  // does not make a text binary.
  EXPECT_EQ(extensionFor(QByteArray(kTypeProbeBytes, 'a') + '\x01'), "txt");
}

} // namespace
