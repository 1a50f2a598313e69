// The text pane's reading of values: RTF formatting and characters, tables,
// malformed and hostile RTF, the demo database's letters, plain text with
// its line ends, and the choice between the two.
#include "viewer/RtfReader.h"
#include "viewer/CodePage.h"
#include "viewer/TextValue.h"

#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace quillon::viewer;

namespace {

std::string text(const QString &s) {
  return s.toStdString();
}

std::unique_ptr<QTextDocument> rtf(const QByteArray &bytes) {
  auto document = readRtf(bytes);
  if (!document) {
    ADD_FAILURE() << "not read as RTF: " << bytes.left(80).toStdString();
    return std::make_unique<QTextDocument>();
  }
  return std::move(*document);
}

QString plain(const QByteArray &bytes) {
  return rtf(bytes)->toPlainText();
}

// The document's text with each stretch of characters whose format passes
// the test in [brackets], paragraphs joined by '|'.
QString marked(const QTextDocument &document,
               const std::function<bool(const QTextCharFormat &)> &test) {
  QString out;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    if (block != document.begin())
      out += u'|';
    bool inside = false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const bool passes = test(it.fragment().charFormat());
      if (passes != inside)
        out += passes ? u'[' : u']';
      inside = passes;
      out += it.fragment().text();
    }
    if (inside)
      out += u']';
  }
  return out;
}

bool isBold(const QTextCharFormat &f) {
  return f.fontWeight() == QFont::Bold;
}

QList<Qt::Alignment> alignments(const QTextDocument &document) {
  QList<Qt::Alignment> result;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
    result << (block.blockFormat().alignment() & Qt::AlignHorizontal_Mask);
  return result;
}

// The format of the first character of the first occurrence of a text.
QTextCharFormat formatOf(const QTextDocument &document, const QString &what) {
  const QTextCursor found = document.find(what);
  EXPECT_FALSE(found.isNull()) << text(what);
  QTextCursor at(const_cast<QTextDocument *>(&document));
  at.setPosition(found.selectionStart() + 1);
  return at.charFormat();
}

QTextTable *firstTable(const QTextDocument &document) {
  for (QTextFrame *frame : document.rootFrame()->childFrames())
    if (auto *table = qobject_cast<QTextTable *>(frame))
      return table;
  return nullptr;
}

QString cellText(QTextTable *table, int row, int column) {
  QTextCursor cursor = table->cellAt(row, column).firstCursorPosition();
  cursor.setPosition(table->cellAt(row, column).lastPosition(), QTextCursor::KeepAnchor);
  return cursor.selectedText();
}

// ---------------------------------------------------------------- formatting

TEST(RtfFormatting, BoldItalicUnderlineAndStrikeCoverExactlyTheirRanges) {
  const auto doc = rtf(R"({\rtf1\ansi one \b two\b0  three \i four \ul five\ulnone\i0  six)"
                       R"( \strike seven\strike0  \uldb eight\ul0  nine \b\i ten\plain  eleven})");
  EXPECT_EQ(text(marked(*doc, isBold)),
            "one [two] three four five six seven eight nine [ten] eleven");
  EXPECT_EQ(text(marked(*doc, [](auto &f) { return f.fontItalic(); })),
            "one two three [four five] six seven eight nine [ten] eleven");
  EXPECT_EQ(text(marked(*doc, [](auto &f) { return f.fontUnderline(); })),
            "one two three four [five] six seven [eight] nine ten eleven");
  EXPECT_EQ(text(marked(*doc, [](auto &f) { return f.fontStrikeOut(); })),
            "one two three four five six [seven] eight nine ten eleven");
}

TEST(RtfFormatting, FontSizeIsInHalfPointsAndFamiliesComeFromTheFontTable) {
  const auto doc = rtf(R"({\rtf1\ansi\deff1{\fonttbl{\f0\froman Times New Roman;})"
                       R"({\f1\fswiss\fcharset0 Arial;}{\f2\fmodern{\*\panose 02}Courier New;}})"
                       R"(plain \fs32 big \f2\fs17 small \f0 roman \f9 unknown\plain  reset})");
  EXPECT_EQ(formatOf(*doc, "plain").fontPointSize(), 12.0); // 24 half-points by default
  EXPECT_EQ(formatOf(*doc, "big").fontPointSize(), 16.0);
  EXPECT_EQ(formatOf(*doc, "small").fontPointSize(), 8.5);
  EXPECT_EQ(formatOf(*doc, "plain").fontFamilies().toStringList(), QStringList{"Arial"});
  EXPECT_EQ(formatOf(*doc, "small").fontFamilies().toStringList(), QStringList{"Courier New"});
  EXPECT_EQ(formatOf(*doc, "roman").fontFamilies().toStringList(), QStringList{"Times New Roman"});
  EXPECT_FALSE(formatOf(*doc, "unknown").hasProperty(QTextFormat::FontFamilies));
  EXPECT_EQ(formatOf(*doc, "reset").fontFamilies().toStringList(), QStringList{"Arial"});
  EXPECT_EQ(formatOf(*doc, "reset").fontPointSize(), 12.0);
}

TEST(RtfFormatting, ColoursIndexTheColourTableAndZeroIsAutomatic) {
  const auto doc = rtf(R"({\rtf1{\colortbl ;\red255\green0\blue0;\red0\green128\blue0;})"
                       R"(auto \cf1 red\cf2 green\cf0  back \cf7 beyond \highlight2 marked)"
                       R"(\highlight0  clear \cb1 shaded})");
  EXPECT_FALSE(formatOf(*doc, "auto").hasProperty(QTextFormat::ForegroundBrush));
  EXPECT_EQ(formatOf(*doc, "red").foreground().color(), QColor(255, 0, 0));
  EXPECT_EQ(formatOf(*doc, "green").foreground().color(), QColor(0, 128, 0));
  EXPECT_FALSE(formatOf(*doc, "back").hasProperty(QTextFormat::ForegroundBrush));
  EXPECT_FALSE(formatOf(*doc, "beyond").hasProperty(QTextFormat::ForegroundBrush));
  EXPECT_EQ(formatOf(*doc, "marked").background().color(), QColor(0, 128, 0));
  EXPECT_FALSE(formatOf(*doc, "clear").hasProperty(QTextFormat::BackgroundBrush));
  EXPECT_EQ(formatOf(*doc, "shaded").background().color(), QColor(255, 0, 0));
}

TEST(RtfFormatting, ParagraphsTakeTheAlignmentAndIndentsInForceAtTheirEnd) {
  const auto doc =
      rtf(R"({\rtf1 left\par\qc centre\par\pard\qr right\par\qj justified\par)"
          R"(\pard\li1440\ri720\fi-360\sb150\sa300 indented\par late\qc\par\pard plain})");
  EXPECT_EQ(text(doc->toPlainText()), "left\ncentre\nright\njustified\nindented\nlate\nplain");
  using A = QList<Qt::Alignment>;
  EXPECT_EQ(alignments(*doc), (A{Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify,
                                 Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignLeft}));
  const QTextBlockFormat indented = doc->findBlockByNumber(4).blockFormat();
  EXPECT_EQ(indented.leftMargin(), 96.0); // one inch
  EXPECT_EQ(indented.rightMargin(), 48.0);
  EXPECT_EQ(indented.textIndent(), -24.0);
  EXPECT_EQ(indented.topMargin(), 10.0);
  EXPECT_EQ(indented.bottomMargin(), 20.0);
  EXPECT_EQ(doc->findBlockByNumber(6).blockFormat().leftMargin(), 0.0);
}

TEST(RtfFormatting, LineTabAndParagraphBreaksAndATrailingParIsNoExtraLine) {
  EXPECT_EQ(text(plain(R"({\rtf1 a\line b\tab c\par\par d\par})")), "a\nb\tc\n\nd");
  const auto doc = rtf(R"({\rtf1 a\line b\par})");
  EXPECT_EQ(doc->blockCount(), 1);
  EXPECT_EQ(doc->begin().text(), QStringLiteral("a\u2028b"));
}

TEST(RtfFormatting, GroupsRestoreCharacterAndParagraphState) {
  const auto doc = rtf(R"({\rtf1\fs20 a{\b b{\i c{\ul\fs40 d}e}f}g{\qc\pard\b h\par}i\par})");
  EXPECT_EQ(text(marked(*doc, isBold)), "a[bcdef]g[h]|i");
  EXPECT_EQ(text(marked(*doc, [](auto &f) { return f.fontItalic(); })), "ab[cde]fgh|i");
  EXPECT_EQ(text(marked(*doc, [](auto &f) { return f.fontUnderline(); })), "abc[d]efgh|i");
  EXPECT_EQ(text(marked(*doc, [](auto &f) { return f.fontPointSize() == 10.0; })),
            "[abc]d[efgh]|[i]");
}

// ---------------------------------------------------------------- characters

TEST(RtfCharacters, HexEscapesReadInTheDocumentCodePage) {
  EXPECT_EQ(text(plain(R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8\'e2\'e5\'f2, \'a8\'b8 \'b9})")),
            "Привет, Ёё №");
  EXPECT_EQ(text(plain(R"({\rtf1\ansi \'c7\'e4 \'80})")), "Çä €");
  EXPECT_EQ(text(plain(R"({\rtf1\ansi\ansicpg1252 caf\'e9})")), "café");
}

TEST(RtfCharacters, AFontsCharsetDecidesOverTheDocumentCodePage) {
  const QByteArray doc = R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0 Arial;}{\f1\fcharset204 Arial;})"
                         R"({\f2\fcharset161 Arial;}{\f3\fcharset1 Arial;})"
                         R"({\f4\fcharset0\cpg1251 Arial;}})"
                         R"(\f0\'e4 \f1\'e4 \f2\'e4 \f3\'e4 \f4\'e4})";
  EXPECT_EQ(text(plain(doc)), "ä д δ ä д");
}

TEST(RtfCharacters, DoubleByteCodePagesJoinLeadAndTrailBytes) {
  if (!QStringDecoder("windows-31j").isValid() && !QStringDecoder("Shift_JIS").isValid())
    GTEST_SKIP() << "this Qt has no Shift_JIS";
  EXPECT_EQ(text(plain(R"({\rtf1\ansi\ansicpg932 \'82\'a0\'82\'a2 \'93\'fa\'96\'7b})")),
            "あい 日本");
  // The trail byte may be a plain character: 82 60 is a fullwidth A.
  EXPECT_EQ(text(plain(R"({\rtf1\ansi{\fonttbl{\f0\fcharset128 MS Mincho;}}\f0\'82`})")), "Ａ");
}

TEST(RtfCharacters, UnicodeEscapesSkipTheirFallbackCharacters) {
  EXPECT_EQ(text(plain(R"({\rtf1\uc1\u1055?\u1088?\u1080?\u1074?\u1077?\u1090?!})")), "Привет!");
  // \ucN counts a hex escape or a control word as one fallback character.
  EXPECT_EQ(text(plain(R"({\rtf1\ansi\uc2\u1071\'3f\'3fa\u1071\emdash\bullet b})")), "ЯaЯb");
  EXPECT_EQ(text(plain(R"({\rtf1\uc0\u1071 x})")), "Яx");
  // The default is one, and the count belongs to the group.
  EXPECT_EQ(text(plain(R"({\rtf1\u1071xy{\uc3\u1071abcd}\u1071?z})")), "ЯyЯdЯz");
  // A group boundary ends the fallback early.
  EXPECT_EQ(text(plain(R"({\rtf1\uc5\u1071{ab}cd})")), "Яabcd");
  // Values above 32767 come as negative numbers; pairs make one character.
  EXPECT_EQ(text(plain(R"({\rtf1\u-3?\u-10179?\u-8704?})")), "\xef\xbf\xbd\xf0\x9f\x98\x80");
  EXPECT_EQ(text(plain(R"({\rtf1 x\u8212\'97y})")), "x\xe2\x80\x94y");
}

TEST(RtfCharacters, SymbolWordsAndEscapedCharacters) {
  EXPECT_EQ(text(plain(R"({\rtf1 \emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})")),
            "—–•‘’“”");
  EXPECT_EQ(text(rtf(R"({\rtf1 a\\b\{c\}d\~e\_f})")->begin().text()), "a\\b{c}d\xc2\xa0"
                                                                      "e\xe2\x80\x91"
                                                                      "f");
  // Line ends in the source are not text; an escaped one is a paragraph.
  EXPECT_EQ(text(plain("{\\rtf1 a\r\nb\nc\\\nd}")), "abc\nd");
}

// ---------------------------------------------------------------- structure

TEST(RtfStructure, DestinationsThatAreNotTheDocumentAreSkipped) {
  const QByteArray doc =
      R"({\rtf1{\info{\title T}{\author A}}{\stylesheet{\s1 Heading;}}{\header H}{\footer F})"
      R"({\*\generator G;}{\*\unknownthing U{\b nested}}{\pict\wmetafile8 0102{}03})"
      R"({\field{\*\fldinst HYPERLINK "x"}{\fldrslt shown}} body{\*\bkmkstart b}.)"
      R"({\object\objemb{\objclass Word}{\*\objdata 0102}{\result  kept}}})";
  // A field shows its result, an object the rendering it keeps for readers.
  EXPECT_EQ(text(plain(doc)), "shown body. kept");
}

TEST(RtfStructure, TablesBecomeRealTables) {
  const auto doc = rtf(R"({\rtf1 Before\par\trowd\cellx1500\cellx3000)"
                       R"(\pard\intbl A1\cell\b B1\b0\cell\row)"
                       R"(\trowd\cellx1500\cellx3000\pard\intbl A2\cell B2\par more\cell\row)"
                       R"(\pard After\par})");
  QTextTable *table = firstTable(*doc);
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rows(), 2);
  ASSERT_EQ(table->columns(), 2);
  EXPECT_EQ(text(cellText(table, 0, 0)), "A1");
  EXPECT_EQ(text(cellText(table, 0, 1)), "B1");
  EXPECT_EQ(text(cellText(table, 1, 0)), "A2");
  EXPECT_EQ(text(cellText(table, 1, 1)), "B2\u2029more");
  EXPECT_TRUE(isBold(formatOf(*doc, "B1")));
  EXPECT_EQ(doc->begin().text(), "Before");
  EXPECT_EQ(doc->lastBlock().text(), "After");
  EXPECT_LT(table->firstPosition(), doc->find("After").selectionStart());
}

TEST(RtfStructure, TableRowsWiderThanTheirDefinitionGrowWithinBounds) {
  QByteArray doc = R"({\rtf1\trowd\cellx1000\pard\intbl a\cell b\cell c\cell\row )";
  for (int i = 0; i < kMaxRtfTableColumns + 10; ++i)
    doc += "x\\cell ";
  doc += "\\row}";
  const auto read = rtf(doc);
  QTextTable *table = firstTable(*read);
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rows(), 2);
  ASSERT_EQ(table->columns(), kMaxRtfTableColumns);
  EXPECT_EQ(text(cellText(table, 0, 2)), "c");
  EXPECT_EQ(cellText(table, 1, kMaxRtfTableColumns - 1).count(u'x'), 11);
}

TEST(RtfStructure, LongTablesContinueAsFurtherTablesAndKeepEveryCell) {
  const int rows = int(kMaxRtfTableCells / 2) + 5;
  QByteArray doc = R"({\rtf1\trowd\cellx1000\cellx2000\pard)";
  for (int i = 0; i < rows; ++i)
    doc += "\\intbl a\\cell b\\cell\\row ";
  doc += "\\pard end}";
  const auto read = rtf(doc);
  const QList<QTextFrame *> frames = read->rootFrame()->childFrames();
  ASSERT_EQ(frames.size(), 2);
  EXPECT_EQ(qobject_cast<QTextTable *>(frames[0])->rows(), int(kMaxRtfTableCells / 2));
  EXPECT_EQ(qobject_cast<QTextTable *>(frames[1])->rows(), 5);
  const QString plainText = read->toPlainText();
  EXPECT_EQ(plainText.count(u'a'), rows);
  EXPECT_EQ(plainText.count(u'b'), rows);
  EXPECT_EQ(read->lastBlock().text(), "end");
}

TEST(RtfStructure, TablesBeyondTheirLimitAreReadAsText) {
  QByteArray doc = "{\\rtf1 ";
  for (int i = 0; i < kMaxRtfTables + 2; ++i)
    doc += "\\trowd\\cellx100\\cellx200\\pard\\intbl a\\cell b\\cell\\row\\pard p\\par ";
  doc += "}";
  const auto read = rtf(doc);
  EXPECT_EQ(read->rootFrame()->childFrames().size(), kMaxRtfTables);
  EXPECT_EQ(text(read->lastBlock().text()), "p");
  EXPECT_EQ(text(read->lastBlock().previous().text()), "a\tb\t");
}

TEST(RtfStructure, CellsAndRowsOutsideATableAreTabsAndParagraphs) {
  EXPECT_EQ(text(plain(R"({\rtf1 a\cell b\row c\nestcell d})")), "a\tb\nc\td");
}

// ---------------------------------------------------------------- robustness

TEST(RtfRobustness, OnlyBytesBeginningWithTheRtfGroupAreRtf) {
  for (const QByteArray &bytes :
       {QByteArray(), QByteArray("{"), QByteArray("{\\rt"), QByteArray(" {\\rtf1 x}"),
        QByteArray("\xef\xbb\xbf{\\rtf1 x}"), QByteArray("{\\RTF1 x}"), QByteArray("plain text"),
        QByteArray("{\\pict}")})
    EXPECT_FALSE(readRtf(bytes).has_value()) << bytes.toStdString();
  EXPECT_TRUE(readRtf("{\\rtf").has_value());
  EXPECT_EQ(text(plain("{\\rtf")), "");
}

TEST(RtfRobustness, BinaryDataIsSkippedByItsLengthBoundedByTheInput) {
  // Braces inside binary data are data, not groups.
  EXPECT_EQ(text(plain("{\\rtf1 a{\\pict\\bin4 {{{{}b}")), "ab");
  EXPECT_EQ(text(plain("{\\rtf1 a\\bin3 xyzb}")), "ab");
  for (const char *bytes : {"{\\rtf1 a\\bin999999999 xyz}", "{\\rtf1 a\\bin2147483647999",
                            "{\\rtf1 a\\bin-5 b}", "{\\rtf1 a\\bin"}) {
    const auto doc = readRtf(bytes);
    ASSERT_TRUE(doc.has_value()) << bytes;
    EXPECT_TRUE((*doc)->toPlainText().startsWith(u'a')) << bytes;
  }
  EXPECT_EQ(text(plain("{\\rtf1 a\\bin-5 b}")), "ab");
}

TEST(RtfRobustness, DeepNestingKeepsTheOuterState) {
  const QByteArray open(100000, '{');
  EXPECT_EQ(text(plain("{\\rtf1 x" + open + "y")), "xy");
  EXPECT_EQ(text(plain("{\\rtf1 x" + open + "y" + QByteArray(100000, '}') + "z}")), "xyz");

  // Beyond the depth bound groups are flattened, not lost.
  const int deep = kMaxRtfDepth + 500;
  const auto doc =
      rtf("{\\rtf1 a" + QByteArray(deep, '{') + "\\b b" + QByteArray(deep, '}') + "c}" + "ignored");
  EXPECT_EQ(text(marked(*doc, isBold)), "a[b]c");
}

// Each of these took time in proportion to the square of its length when
// the document was laid out or a table regrown after every insertion; the
// time itself is a benchmark figure (quillon-bench, section "text").
TEST(RtfRobustness, LargeDocumentsAreReadWholeWithoutBeingLaidOut) {
  const int n = 20000;
  for (const char *unit : {"{\\b x}y", "x\\par ", "\\intbl x\\cell y\\cell\\row ",
                           "\\intbl x\\cell ", "\\pard\\intbl x\\cell\\row\\pard y\\par "}) {
    QByteArray doc = "{\\rtf1\\trowd\\cellx100\\cellx200 ";
    for (int i = 0; i < n; ++i)
      doc += unit;
    doc += "}";
    const auto read = rtf(doc);
    EXPECT_EQ(read->toPlainText().count(u'x'), n) << unit;
    // A document gets its layout object when it is first laid out; reading
    // must leave that to the pane that shows it.
    EXPECT_TRUE(read->findChildren<QAbstractTextDocumentLayout *>().isEmpty()) << unit;
  }
}

TEST(RtfRobustness, UnbalancedBracesEndOrCloseTheDocument) {
  // The document's group closes at its own brace; what follows is not read.
  EXPECT_EQ(text(plain("{\\rtf1 a}b}c")), "a");
  EXPECT_EQ(text(plain("{\\rtf1 a{\\b b}}}}c{")), "ab");
  // Missing closing braces keep what was read.
  EXPECT_EQ(text(plain("{\\rtf1 a{\\b b{\\i c")), "abc");
}

TEST(RtfRobustness, TruncatedAndOversizedControlWords) {
  for (const char *bytes : {"{\\rtf1 a\\", "{\\rtf1 a\\'", "{\\rtf1 a\\'4", "{\\rtf1 a\\u",
                            "{\\rtf1 a\\u-", "{\\rtf1 a\\b", "{\\rtf1 a\\fs-", "{\\rtf1 a{\\*",
                            "{\\rtf1 a{\\fonttbl{\\f0 Ari", "{\\rtf1 a{\\colortbl\\red300"})
    EXPECT_EQ(text(plain(bytes)).substr(0, 1), "a") << bytes;
  // One hex digit is a byte of its own, here a control character, dropped.
  EXPECT_EQ(text(plain("{\\rtf1 a\\'4")), "a");
  EXPECT_EQ(text(plain("{\\rtf1 \\'4g}")), "g");
  // Parameters saturate; an overlong word is an unknown one, skipped whole.
  const auto doc = rtf("{\\rtf1\\fs99999999999999999999 big\\u99999999999?x"
                       "\\li-99999999999\\uc99999999999 y\\" +
                       QByteArray(100000, 'q') + "10 z}");
  EXPECT_EQ(formatOf(*doc, "big").fontPointSize(), 1638.0);
  EXPECT_EQ(doc->begin().blockFormat().leftMargin(), -22 * 96.0);
  EXPECT_EQ(text(doc->toPlainText()), "big\xef\xbf\xbdxyz");
}

TEST(RtfRobustness, NulAndControlBytesDoNotBreakTheDocumentStructure) {
  // U+FDD0 and U+FDD1 mark frames inside a document; U+2029 ends a block.
  QByteArray bytes("{\\rtf1 a");
  bytes += '\0';
  bytes += "b\x01\\'00c\\'0d\\'0ad\\u-560?\\u-559?\\u8233?e}";
  const auto doc = rtf(bytes);
  EXPECT_EQ(text(doc->begin().text()), "abcd\xef\xbf\xbd\xef\xbf\xbd\xe2\x80\xa8"
                                       "e");
  EXPECT_EQ(doc->blockCount(), 1);
  EXPECT_EQ(doc->rootFrame()->childFrames().size(), 0);
}

TEST(RtfRobustness, MutatedDocumentsNeverCrash) {
  const QByteArray seed = R"({\rtf1\ansi\ansicpg1251\deff0{\fonttbl{\f0\fcharset204 Arial;}})"
                          R"({\colortbl ;\red1\green2\blue3;}\uc1\pard\qc\b\'cf\u1088?\cf1 x)"
                          R"({\*\x y}\trowd\cellx100\intbl a\cell\row\bin2 {}\par})";
  QRandomGenerator random(12345);
  for (int round = 0; round < 3000; ++round) {
    QByteArray bytes = seed;
    const int edits = 1 + random.bounded(8);
    for (int e = 0; e < edits && bytes.size() > 6; ++e) {
      const int at = 5 + random.bounded(int(bytes.size()) - 5);
      switch (random.bounded(3)) {
      case 0:
        bytes[at] = char(random.bounded(256));
        break;
      case 1:
        bytes.remove(at, random.bounded(6));
        break;
      default:
        bytes.insert(at, bytes.mid(random.bounded(int(bytes.size())), random.bounded(12)));
        break;
      }
    }
    const auto doc = readRtf(bytes);
    ASSERT_TRUE(doc.has_value());
    (void)(*doc)->toPlainText();
  }
}

// ---------------------------------------------------------------- demo

const QString kMakeDemoDb = QStringLiteral(QUILLON_MAKE_DEMO_DB);

// Both of make-demo-db's RTF values, read back from the database it writes.
class DemoDatabaseRtf : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    quillon::test::ScratchDir scratch;
    const QString path = scratch.file(QStringLiteral("demo.db"));
    QProcess tool;
    tool.start(kMakeDemoDb, {path});
    ASSERT_TRUE(tool.waitForFinished(120000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    sqlite3 *db = nullptr;
    ASSERT_EQ(
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
        SQLITE_OK);
    letter_ = value(db, "select Data from Docs where ID = 7");
    note_ = value(db, "select Body from Loose where Title = 'Записка'");
    sqlite3_close(db);
  }

  static QByteArray value(sqlite3 *db, const char *sql) {
    sqlite3_stmt *stmt = nullptr;
    QByteArray bytes;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
      bytes = QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, 0)),
                         sqlite3_column_bytes(stmt, 0));
    sqlite3_finalize(stmt);
    EXPECT_FALSE(bytes.isEmpty()) << sql;
    return bytes;
  }

  static inline QByteArray letter_;
  static inline QByteArray note_;
};

TEST_F(DemoDatabaseRtf, TheLetterReadsBackAsItsRussianText) {
  const auto doc = rtf(letter_);
  EXPECT_EQ(text(doc->toPlainText()),
            "Quillon\n"
            "This letter has bold, italic and bold italic words, red and blue text, and a line "
            "under a word.\n"
            "Здравствуйте!\n"
            "Это письмо набрано в кодировке Windows-1251: жирный, курсив.\n"
            "Эта строка записана кодами Юникода: ёлка, щука, съезд.\n"
            "select  top 10 * from Docs\n"
            "Сердечно ваш, Quillon");
}

TEST_F(DemoDatabaseRtf, TheLetterKeepsItsFormatting) {
  const auto doc = rtf(letter_);
  EXPECT_TRUE(marked(*doc, isBold)
                  .startsWith("[Quillon]|This letter has [bold], italic and [bold italic] words"))
      << text(marked(*doc, isBold));
  EXPECT_TRUE(isBold(formatOf(*doc, "жирный")));
  EXPECT_FALSE(isBold(formatOf(*doc, "кодировке")));
  EXPECT_TRUE(formatOf(*doc, "курсив").fontItalic());
  EXPECT_TRUE(formatOf(*doc, "line").fontUnderline());
  EXPECT_EQ(formatOf(*doc, "red").foreground().color(), QColor(160, 0, 0));
  EXPECT_EQ(formatOf(*doc, "blue").foreground().color(), QColor(0, 70, 160));
  EXPECT_EQ(formatOf(*doc, "Quillon").fontPointSize(), 16.0);
  EXPECT_EQ(formatOf(*doc, "Quillon").fontFamilies().toStringList(), QStringList{"Arial"});
  EXPECT_EQ(formatOf(*doc, "select").fontFamilies().toStringList(), QStringList{"Courier New"});
  EXPECT_EQ(formatOf(*doc, "select").fontPointSize(), 10.0);
  const QList<Qt::Alignment> aligned = alignments(*doc);
  ASSERT_EQ(aligned.size(), 7);
  EXPECT_EQ(aligned.first(), Qt::AlignHCenter);
  EXPECT_EQ(aligned[3], Qt::AlignLeft);
  EXPECT_EQ(aligned.last(), Qt::AlignRight);
  EXPECT_TRUE(formatOf(*doc, "Сердечно").fontItalic());
}

TEST_F(DemoDatabaseRtf, TheNoteInATextColumnIsFormattedToo) {
  const auto document = shownDocumentOf(note_, note_.size());
  EXPECT_EQ(text(document->toPlainText()), "Напоминание: полить цветок и позвонить домой.");
  EXPECT_TRUE(isBold(formatOf(*document, "Напоминание")));
  EXPECT_TRUE(formatOf(*document, "полить").fontItalic());
  EXPECT_EQ(formatOf(*document, "домой").fontPointSize(), 11.0);
}

// ---------------------------------------------------------------- plain text

TEST(PlainText, EveryLineEndBecomesOneNewline) {
  const QString lf = plainTextOf("one\ntwo\n\nthree\n");
  EXPECT_EQ(text(lf), "one\ntwo\n\nthree\n");
  EXPECT_EQ(plainTextOf("one\r\ntwo\r\n\r\nthree\r\n"), lf);
  EXPECT_EQ(plainTextOf("one\rtwo\r\rthree\r"), lf);
  EXPECT_EQ(plainTextOf("one\r\ntwo\n\rthree\r"), lf);
  EXPECT_EQ(text(plainTextOf("a\r\r\nb")), "a\n\nb");
  EXPECT_EQ(plainTextOf(QByteArray()), QString());
}

TEST(PlainText, ReadsUtf8ElseWindows1251) {
  EXPECT_EQ(text(plainTextOf("Тише едешь\r\n")), "Тише едешь\n");
  // A sequence cut off at the end of the bytes shown is left out.
  EXPECT_EQ(text(plainTextOf("Тише\xd0")), "Тише");
  // Bytes that are not UTF-8 are the 8-bit code page's, never boxes.
  EXPECT_EQ(text(plainTextOf("\xd2\xe8\xf8\xe5 \xe5\xe4\xe5\xf8\xfc")), "Тише едешь");
  EXPECT_EQ(text(plainTextOf("a\xff"
                             "b\xd0")),
            "aяbР");
}

TEST(PlainText, ValuesAreOfferedAsRtfFirstThenAsPlainText) {
  const auto rich = shownDocumentOf("{\\rtf1 {\\b x}\\par y}", 20);
  EXPECT_EQ(text(rich->toPlainText()), "x\ny");
  EXPECT_TRUE(isBold(formatOf(*rich, "x")));

  const auto crlf = shownDocumentOf("x\r\ny", 4);
  EXPECT_EQ(text(crlf->toPlainText()), "x\ny");
  EXPECT_FALSE(isBold(formatOf(*crlf, "x")));

  // Bytes after leading whitespace are not RTF: they show as written.
  EXPECT_EQ(text(shownDocumentOf(" {\\rtf1 x}", 10)->toPlainText()), " {\\rtf1 x}");
  EXPECT_EQ(shownDocumentOf(QByteArray("\x00\xff", 2), 2)->characterCount(), 3);
  EXPECT_EQ(text(failedToLoadText()), "(Failed to Load Stream)");
}

TEST(PlainText, LongLinesContinueInBlocksOfBoundedLength) {
  const QByteArray line(5 * kMaxRtfBlockLength + 7, 'x');
  const QByteArray rtfLine = "{\\rtf1 " + line + "\\par short}";
  for (const QByteArray &value : {line, rtfLine}) {
    SCOPED_TRACE(value.left(8).toStdString());
    const auto document = shownDocumentOf(value, value.size());
    QString joined;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
      EXPECT_LE(block.length() - 1, kMaxRtfBlockLength);
      if (block.text() != QStringLiteral("short"))
        joined += block.text();
    }
    EXPECT_EQ(joined, QString::fromLatin1(line));
  }
  // Short lines stay as they are.
  EXPECT_EQ(shownDocumentOf("ab\ncd", 5)->blockCount(), 2);
}

TEST(PlainText, AValueShownInPartEndsWithANote) {
  const auto document = shownDocumentOf("first\nsecond", 3 << 20);
  EXPECT_EQ(document->blockCount(), 3);
  EXPECT_EQ(text(document->firstBlock().text()), "first");
  EXPECT_EQ(text(document->lastBlock().text()),
            "(Показаны первые 12 байт из 3145728. Всё значение сохраняет команда «В файл».)");
  // RTF cut off in the middle of a group shows what it had.
  const auto cut = shownDocumentOf("{\\rtf1 {\\b bold} and {\\i ital", 1000);
  EXPECT_TRUE(cut->toPlainText().startsWith(QStringLiteral("bold and ital")))
      << text(cut->toPlainText());
  EXPECT_TRUE(isBold(formatOf(*cut, "bold")));
}

// ---------------------------------------------------------------- code pages

TEST(CodePages, BuiltInTablesAgreeWithIcu) {
  QByteArray all;
  for (int byte = 0; byte < 256; ++byte)
    all.append(char(byte));
  for (const char *name : {"windows-1251", "windows-1252"}) {
    QStringDecoder icu(name);
    if (!icu.isValid())
      GTEST_SKIP() << "this Qt has no " << name;
    const int codePage = QByteArray(name).mid(8).toInt();
    const QString expected = icu.decode(all);
    const QString table = detail::decodeWithBuiltInTable(all, codePage);
    ASSERT_EQ(table.size(), 256);
    for (int byte = 0; byte < 256; ++byte)
      EXPECT_EQ(table[byte].unicode(), expected[byte].unicode())
          << name << " byte " << std::hex << byte;
  }
  EXPECT_TRUE(detail::decodeWithBuiltInTable("x", 1250).isNull());
}

TEST(CodePages, KnownCodePagesAndAnUnknownOneFallingBackTo1252) {
  EXPECT_EQ(text(decodeCodePage("\xc6", 1251)), "Ж");
  EXPECT_EQ(text(decodeCodePage("\xc6", 1253)), "Ζ");
  EXPECT_EQ(text(decodeCodePage("\xc6", 1250)), "Ć");
  EXPECT_EQ(text(decodeCodePage("\x8a", 10000)), "ä");
  EXPECT_EQ(text(decodeCodePage("\x80", 866)), "А");
  EXPECT_EQ(text(decodeCodePage("\x80\xc6", 99999)), "€Æ");
  EXPECT_EQ(text(decodeCodePage("\x80\xc6", -1)), "€Æ");
}

} // namespace
