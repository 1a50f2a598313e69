#include "viewer/RtfReader.h"

#include "viewer/CodePage.h"

#include <QColor>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <algorithm>
#include <array>
#include <map>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillon::viewer {

namespace {

constexpr qsizetype kMaxWordLength = 32; // longer words are unknown words
constexpr qint64 kMaxParameter = 1'000'000'000;
constexpr int kMaxTwips = 22 * 1440;
constexpr double kTwipsPerPixel = 15.0; // 1440 twips and 96 pixels an inch
constexpr int kMaxUnicodeSkip = 1000;
constexpr int kDefaultHalfPoints = 24;
constexpr int kMaxHalfPoints = 3276;

enum class Word {
  Unknown,
  Ansi,
  Mac,
  Pc,
  Pca,
  AnsiCpg,
  Deff,
  FontTable,
  ColorTable,
  Skip,
  Font,
  FontCharset,
  FontCodePage,
  Red,
  Green,
  Blue,
  FontSize,
  Bold,
  Italic,
  Underline,
  UnderlineNone,
  Strike,
  Foreground,
  Background,
  Plain,
  Par,
  Line,
  Tab,
  Pard,
  AlignLeft,
  AlignCenter,
  AlignRight,
  AlignJustify,
  LeftIndent,
  RightIndent,
  FirstIndent,
  SpaceBefore,
  SpaceAfter,
  Unicode,
  UnicodeSkip,
  Bin,
  RowDefaults,
  CellRight,
  InTable,
  TableLevel,
  Cell,
  Row,
  NestedCell,
  NestedRow,
  EmDash,
  EnDash,
  Bullet,
  LeftQuote,
  RightQuote,
  LeftDoubleQuote,
  RightDoubleQuote,
  EmSpace,
  EnSpace,
  QuarterEmSpace,
};

Word wordOf(std::string_view name) {
  static const std::unordered_map<std::string_view, Word> words = [] {
    std::unordered_map<std::string_view, Word> w = {
        {"ansi", Word::Ansi},
        {"mac", Word::Mac},
        {"pc", Word::Pc},
        {"pca", Word::Pca},
        {"ansicpg", Word::AnsiCpg},
        {"deff", Word::Deff},
        {"fonttbl", Word::FontTable},
        {"colortbl", Word::ColorTable},
        {"f", Word::Font},
        {"fcharset", Word::FontCharset},
        {"cpg", Word::FontCodePage},
        {"red", Word::Red},
        {"green", Word::Green},
        {"blue", Word::Blue},
        {"fs", Word::FontSize},
        {"b", Word::Bold},
        {"i", Word::Italic},
        {"ul", Word::Underline},
        {"uld", Word::Underline},
        {"uldash", Word::Underline},
        {"uldashd", Word::Underline},
        {"uldashdd", Word::Underline},
        {"uldb", Word::Underline},
        {"ulth", Word::Underline},
        {"ulw", Word::Underline},
        {"ulwave", Word::Underline},
        {"ulnone", Word::UnderlineNone},
        {"strike", Word::Strike},
        {"striked", Word::Strike},
        {"cf", Word::Foreground},
        {"cb", Word::Background},
        {"highlight", Word::Background},
        {"plain", Word::Plain},
        {"par", Word::Par},
        {"page", Word::Par},
        {"sect", Word::Par},
        {"line", Word::Line},
        {"tab", Word::Tab},
        {"pard", Word::Pard},
        {"ql", Word::AlignLeft},
        {"qc", Word::AlignCenter},
        {"qr", Word::AlignRight},
        {"qj", Word::AlignJustify},
        {"li", Word::LeftIndent},
        {"lin", Word::LeftIndent},
        {"ri", Word::RightIndent},
        {"rin", Word::RightIndent},
        {"fi", Word::FirstIndent},
        {"sb", Word::SpaceBefore},
        {"sa", Word::SpaceAfter},
        {"u", Word::Unicode},
        {"uc", Word::UnicodeSkip},
        {"bin", Word::Bin},
        {"trowd", Word::RowDefaults},
        {"cellx", Word::CellRight},
        {"intbl", Word::InTable},
        {"itap", Word::TableLevel},
        {"cell", Word::Cell},
        {"row", Word::Row},
        {"nestcell", Word::NestedCell},
        {"nestrow", Word::NestedRow},
        {"emdash", Word::EmDash},
        {"endash", Word::EnDash},
        {"bullet", Word::Bullet},
        {"lquote", Word::LeftQuote},
        {"rquote", Word::RightQuote},
        {"ldblquote", Word::LeftDoubleQuote},
        {"rdblquote", Word::RightDoubleQuote},
        {"emspace", Word::EmSpace},
        {"enspace", Word::EnSpace},
        {"qmspace", Word::QuarterEmSpace},
    };
    // Destinations whose text is not part of the shown document.
    static constexpr std::string_view skipped =
        "pict info stylesheet header headerl headerr headerf footer footerl footerr "
        "footerf footnote annotation atnid atnauthor atndate atnref atntime atrfstart "
        "atrfend fldinst objdata objclass objname listtable listoverridetable "
        "revtbl rsidtbl xmlnstbl generator themedata colorschememapping datastore "
        "latentstyles filetbl pgdsctbl template userprops docvar bkmkstart bkmkend xe tc "
        "txe rxe private comment title subject author operator keywords doccomm "
        "nonshppict nonesttables fchars lchars pnseclvl ftnsep ftnsepc ftncn aftnsep "
        "aftnsepc aftncn listpicture blipuid mmathPr panose falt fontemb fontfile sp sn "
        "sv shpinst do background wgrffmtfilter pntxta pntxtb nesttableprops";
    for (std::size_t at = 0; at < skipped.size();) {
      const std::size_t space = std::min(skipped.find(' ', at), skipped.size());
      w.emplace(skipped.substr(at, space - at), Word::Skip);
      at = space + 1;
    }
    return w;
  }();
  const auto found = words.find(name);
  return found == words.end() ? Word::Unknown : found->second;
}

// Words that only add text or skip bytes; every other word may change the
// formatting, so the text gathered so far is written out before it.
bool keepsFormat(Word word) {
  switch (word) {
  case Word::Unknown:
  case Word::Unicode:
  case Word::UnicodeSkip:
  case Word::Bin:
  case Word::Line:
  case Word::Tab:
  case Word::EmDash:
  case Word::EnDash:
  case Word::Bullet:
  case Word::LeftQuote:
  case Word::RightQuote:
  case Word::LeftDoubleQuote:
  case Word::RightDoubleQuote:
  case Word::EmSpace:
  case Word::EnSpace:
  case Word::QuarterEmSpace:
    return true;
  default:
    return false;
  }
}

enum class Destination : quint8 { Text, FontTable, ColorTable, Skip };

// What a group saves on '{' and restores on '}'.
struct State {
  Destination destination = Destination::Text;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  bool inTable = false;
  int font = -1; // -1: the document's default font
  int halfPoints = kDefaultHalfPoints;
  int foreground = -1; // colour table index; -1: automatic
  int background = -1;
  int unicodeSkip = 1;
  Qt::Alignment alignment = Qt::AlignLeft;
  int leftIndent = 0; // twips
  int rightIndent = 0;
  int firstIndent = 0;
  int spaceBefore = 0;
  int spaceAfter = 0;

  void resetCharacter() {
    bold = italic = underline = strike = false;
    font = -1;
    halfPoints = kDefaultHalfPoints;
    foreground = background = -1;
  }
  void resetParagraph() {
    inTable = false;
    alignment = Qt::AlignLeft;
    leftIndent = rightIndent = firstIndent = spaceBefore = spaceAfter = 0;
  }
};

struct FontEntry {
  QByteArray nameBytes;
  bool named = false; // the name's ';' was read
  int charset = -1;
  int codePage = 0;
  QString family; // decoded on first use
  bool decoded = false;
};

int clampTwips(int value) {
  return std::clamp(value, -kMaxTwips, kMaxTwips);
}

bool isLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// A table is gathered whole and written at once: growing a QTextTable
// row by row costs time in proportion to its size on every row.
struct Paragraph {
  QTextBlockFormat format;
  QTextCharFormat charFormat;
  std::vector<std::pair<QString, QTextCharFormat>> runs;
};
using Cell = std::vector<Paragraph>;
using Row = std::vector<Cell>;
struct Table {
  std::vector<Row> rows;
  std::vector<int> cellRights; // of its first row
  int columns = 1;
  bool cellEnded = false;
  bool rowEnded = false;
};

class Reader {
public:
  explicit Reader(const QByteArray &bytes)
      : at_(bytes.constData()), end_(bytes.constData() + bytes.size()),
        document_(std::make_unique<QTextDocument>()), cursor_(document_.get()) {
    document_->setUndoRedoEnabled(false);
    // One edit for the whole read, so the document is not laid out after
    // every insertion.
    cursor_.beginEditBlock();
  }

  std::unique_ptr<QTextDocument> read() {
    while (at_ < end_ && !done_) {
      const char c = *at_++;
      switch (c) {
      case '{':
        openGroup();
        break;
      case '}':
        closeGroup();
        break;
      case '\\':
        control();
        break;
      case '\r':
      case '\n':
        break;
      default:
        textByte(uchar(c));
        break;
      }
    }
    finish();
    return std::move(document_);
  }

private:
  // ---------------------------------------------------------------- groups

  void openGroup() {
    pendingSkip_ = 0;
    if (stack_.size() >= std::size_t(kMaxRtfDepth)) {
      ++flattened_;
      return;
    }
    stack_.push_back(state_);
  }

  void closeGroup() {
    pendingSkip_ = 0;
    if (flattened_ > 0) {
      --flattened_;
      return;
    }
    if (stack_.size() <= 1) {
      // The document's own group ends; what follows is not read.
      done_ = true;
      return;
    }
    flushRun();
    state_ = stack_.back();
    stack_.pop_back();
  }

  // ---------------------------------------------------------------- lexing

  void control() {
    if (at_ == end_)
      return;
    const char c = *at_;
    if (isLetter(c)) {
      controlWord();
      return;
    }
    ++at_;
    if (c == '\'') {
      int value = 0;
      int digits = 0;
      while (digits < 2 && at_ < end_ && hexValue(*at_) >= 0) {
        value = value * 16 + hexValue(*at_++);
        ++digits;
      }
      if (digits > 0)
        textByte(uchar(value));
      return;
    }
    if (c == '\\' || c == '{' || c == '}') {
      textByte(uchar(c));
      return;
    }
    if (takeSkippedCharacter())
      return;
    switch (c) {
    case '*':
      flushRun();
      state_.destination = Destination::Skip;
      break;
    case '~':
      textUnit(0x00A0);
      break;
    case '-':
      textUnit(0x00AD);
      break;
    case '_':
      textUnit(0x2011);
      break;
    case '\r':
    case '\n':
      word(Word::Par, false, 0);
      break;
    default:
      break;
    }
  }

  void controlWord() {
    const char *start = at_;
    while (at_ < end_ && isLetter(*at_))
      ++at_;
    const qsizetype length = at_ - start;
    const std::string_view name =
        length <= kMaxWordLength ? std::string_view(start, std::size_t(length)) : "";
    bool negative = false;
    if (at_ + 1 < end_ && *at_ == '-' && isDigit(at_[1])) {
      negative = true;
      ++at_;
    }
    bool hasParameter = false;
    qint64 parameter = 0;
    while (at_ < end_ && isDigit(*at_)) {
      hasParameter = true;
      parameter = std::min(parameter * 10 + (*at_++ - '0'), kMaxParameter);
    }
    if (at_ < end_ && *at_ == ' ')
      ++at_;
    const Word w = wordOf(name);
    const int value = int(negative ? -parameter : parameter);
    if (w == Word::Bin) {
      // Binary data is never shown; its length is believed only as far as
      // the bytes go.
      at_ += std::min<qint64>(std::max(value, 0), end_ - at_);
      takeSkippedCharacter();
      return;
    }
    if (takeSkippedCharacter())
      return;
    word(w, hasParameter, value);
  }

  // The characters after \uN that stand in for it where Unicode is not read.
  bool takeSkippedCharacter() {
    if (pendingSkip_ == 0)
      return false;
    --pendingSkip_;
    return true;
  }

  // ---------------------------------------------------------------- words

  void word(Word w, bool hasParameter, int value) {
    const bool on = !hasParameter || value != 0;
    if (state_.destination == Destination::Skip)
      return;
    if (!keepsFormat(w))
      flushRun();
    switch (w) {
    case Word::Unknown:
      break;
    case Word::Ansi:
      codePage_ = 1252;
      break;
    case Word::Mac:
      codePage_ = 10000;
      break;
    case Word::Pc:
      codePage_ = 437;
      break;
    case Word::Pca:
      codePage_ = 850;
      break;
    case Word::AnsiCpg:
      if (value > 0)
        codePage_ = value;
      break;
    case Word::Deff:
      defaultFont_ = value;
      break;
    case Word::FontTable:
      state_.destination = Destination::FontTable;
      break;
    case Word::ColorTable:
      state_.destination = Destination::ColorTable;
      break;
    case Word::Skip:
      state_.destination = Destination::Skip;
      break;
    case Word::Font:
      if (state_.destination == Destination::FontTable) {
        definedFont_ = value;
        fonts_[value];
      } else {
        state_.font = value;
      }
      break;
    case Word::FontCharset:
      if (state_.destination == Destination::FontTable && definedFont_)
        fonts_[*definedFont_].charset = value;
      break;
    case Word::FontCodePage:
      if (state_.destination == Destination::FontTable && definedFont_)
        fonts_[*definedFont_].codePage = value;
      break;
    case Word::Red:
      red_ = std::clamp(value, 0, 255);
      colorGiven_ = true;
      break;
    case Word::Green:
      green_ = std::clamp(value, 0, 255);
      colorGiven_ = true;
      break;
    case Word::Blue:
      blue_ = std::clamp(value, 0, 255);
      colorGiven_ = true;
      break;
    case Word::FontSize:
      state_.halfPoints =
          hasParameter && value > 0 ? std::min(value, kMaxHalfPoints) : kDefaultHalfPoints;
      break;
    case Word::Bold:
      state_.bold = on;
      break;
    case Word::Italic:
      state_.italic = on;
      break;
    case Word::Underline:
      state_.underline = on;
      break;
    case Word::UnderlineNone:
      state_.underline = false;
      break;
    case Word::Strike:
      state_.strike = on;
      break;
    case Word::Foreground:
      state_.foreground = value;
      break;
    case Word::Background:
      state_.background = value;
      break;
    case Word::Plain:
      state_.resetCharacter();
      break;
    case Word::Par:
      if (inText())
        endParagraph();
      break;
    case Word::Line:
      textUnit(QChar::LineSeparator);
      break;
    case Word::Tab:
      textUnit(u'\t');
      break;
    case Word::Pard:
      state_.resetParagraph();
      break;
    case Word::AlignLeft:
      state_.alignment = Qt::AlignLeft;
      break;
    case Word::AlignCenter:
      state_.alignment = Qt::AlignHCenter;
      break;
    case Word::AlignRight:
      state_.alignment = Qt::AlignRight;
      break;
    case Word::AlignJustify:
      state_.alignment = Qt::AlignJustify;
      break;
    case Word::LeftIndent:
      state_.leftIndent = clampTwips(value);
      break;
    case Word::RightIndent:
      state_.rightIndent = clampTwips(value);
      break;
    case Word::FirstIndent:
      state_.firstIndent = clampTwips(value);
      break;
    case Word::SpaceBefore:
      state_.spaceBefore = clampTwips(value);
      break;
    case Word::SpaceAfter:
      state_.spaceAfter = clampTwips(value);
      break;
    case Word::Unicode:
      unicode(value);
      break;
    case Word::UnicodeSkip:
      state_.unicodeSkip = std::clamp(value, 0, kMaxUnicodeSkip);
      break;
    case Word::Bin:
      break;
    case Word::RowDefaults:
      cellRights_.clear();
      break;
    case Word::CellRight:
      if (cellRights_.size() < std::size_t(kMaxRtfTableColumns))
        cellRights_.push_back(clampTwips(value));
      break;
    case Word::InTable:
      state_.inTable = true;
      break;
    case Word::TableLevel:
      state_.inTable = value > 0;
      break;
    case Word::Cell:
      if (inText())
        endCell();
      break;
    case Word::Row:
      if (inText())
        endRow();
      break;
    case Word::NestedCell:
      // Nested tables are read flat: their cells as tabs, rows as lines.
      textUnit(u'\t');
      break;
    case Word::NestedRow:
      if (inText())
        endParagraph();
      break;
    case Word::EmDash:
      textUnit(0x2014);
      break;
    case Word::EnDash:
      textUnit(0x2013);
      break;
    case Word::Bullet:
      textUnit(0x2022);
      break;
    case Word::LeftQuote:
      textUnit(0x2018);
      break;
    case Word::RightQuote:
      textUnit(0x2019);
      break;
    case Word::LeftDoubleQuote:
      textUnit(0x201C);
      break;
    case Word::RightDoubleQuote:
      textUnit(0x201D);
      break;
    case Word::EmSpace:
      textUnit(0x2003);
      break;
    case Word::EnSpace:
      textUnit(0x2002);
      break;
    case Word::QuarterEmSpace:
      textUnit(0x2005);
      break;
    }
  }

  bool inText() const { return state_.destination == Destination::Text; }

  // ---------------------------------------------------------------- text

  void textByte(uchar byte) {
    if (takeSkippedCharacter())
      return;
    switch (state_.destination) {
    case Destination::Text:
      // Control characters would end blocks or frames behind the reader's back.
      if (byte < 0x20 && byte != '\t')
        return;
      if (bytes_.isEmpty())
        bytesCodePage_ = currentCodePage();
      bytes_.append(char(byte));
      break;
    case Destination::FontTable:
      if (!definedFont_)
        break;
      if (FontEntry &font = fonts_[*definedFont_]; !font.named) {
        if (byte == ';')
          font.named = true;
        else
          font.nameBytes.append(char(byte));
      }
      break;
    case Destination::ColorTable:
      if (byte == ';') {
        colors_.push_back(colorGiven_ ? std::optional<QColor>(QColor(red_, green_, blue_))
                                      : std::nullopt);
        red_ = green_ = blue_ = 0;
        colorGiven_ = false;
      }
      break;
    case Destination::Skip:
      break;
    }
  }

  // Callers have already counted the unit against \uN's fallback.
  void textUnit(char16_t unit) {
    if (!inText())
      return;
    flushBytes();
    run_.append(QChar(unit));
  }

  void unicode(int value) {
    pendingSkip_ = state_.unicodeSkip;
    if (!inText())
      return;
    // Values above 32767 are written as negative 16-bit numbers.
    if (value < 0 && value >= -32768)
      value += 65536;
    flushBytes();
    if (value >= 0x20 || value == '\t') {
      if (value <= 0x10FFFF)
        run_.append(QChar::fromUcs4(char32_t(value)));
      else
        run_.append(QChar::ReplacementCharacter);
    }
  }

  int currentCodePage() {
    const auto found = fonts_.find(state_.font >= 0 ? state_.font : defaultFont_);
    if (found != fonts_.end()) {
      if (found->second.codePage > 0)
        return found->second.codePage;
      if (const int codePage = codePageOfCharset(found->second.charset); codePage > 0)
        return codePage;
    }
    return codePage_;
  }

  QString decode(const QByteArray &bytes, int codePage) {
    return decoders_.decode(bytes, codePage);
  }

  void flushBytes() {
    if (bytes_.isEmpty())
      return;
    run_.append(decode(bytes_, bytesCodePage_));
    bytes_.clear();
  }

  // Writes the gathered text with the formatting it was gathered under.
  void flushRun() {
    flushBytes();
    if (run_.isEmpty())
      return;
    for (QChar &c : run_) {
      // The document keeps these for its own frame and block structure.
      if (c == QChar(0xFDD0) || c == QChar(0xFDD1) || c == QChar::ObjectReplacementCharacter)
        c = QChar::ReplacementCharacter;
      else if (c == QChar::ParagraphSeparator)
        c = QChar::LineSeparator;
    }
    beginContent();
    insertText(run_, charFormat());
    run_.clear();
  }

  // ---------------------------------------------------------------- formats

  QTextCharFormat charFormat() {
    QTextCharFormat format;
    if (const QString family = fontFamily(); !family.isEmpty())
      format.setFontFamilies({family});
    format.setFontPointSize(state_.halfPoints / 2.0);
    format.setFontWeight(state_.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(state_.italic);
    format.setFontUnderline(state_.underline);
    format.setFontStrikeOut(state_.strike);
    if (const auto color = colorAt(state_.foreground))
      format.setForeground(*color);
    if (const auto color = colorAt(state_.background))
      format.setBackground(*color);
    return format;
  }

  QTextBlockFormat blockFormat() const {
    QTextBlockFormat format;
    format.setAlignment(state_.alignment);
    format.setLeftMargin(state_.leftIndent / kTwipsPerPixel);
    format.setRightMargin(state_.rightIndent / kTwipsPerPixel);
    format.setTextIndent(state_.firstIndent / kTwipsPerPixel);
    format.setTopMargin(state_.spaceBefore / kTwipsPerPixel);
    format.setBottomMargin(state_.spaceAfter / kTwipsPerPixel);
    return format;
  }

  QString fontFamily() {
    const auto found = fonts_.find(state_.font >= 0 ? state_.font : defaultFont_);
    if (found == fonts_.end())
      return QString();
    FontEntry &font = found->second;
    if (!font.decoded) {
      int codePage = font.codePage > 0 ? font.codePage : codePageOfCharset(font.charset);
      font.family = decode(font.nameBytes, codePage > 0 ? codePage : codePage_).trimmed();
      font.decoded = true;
    }
    return font.family;
  }

  std::optional<QColor> colorAt(int index) const {
    if (index < 0 || std::size_t(index) >= colors_.size())
      return std::nullopt;
    return colors_[std::size_t(index)];
  }

  // ---------------------------------------------------------------- structure

  Paragraph &paragraph() { return table_->rows.back().back().back(); }

  void insertText(const QString &text, const QTextCharFormat &format) {
    if (table_) {
      paragraph().runs.emplace_back(text, format);
      return;
    }
    for (qsizetype at = 0; at < text.size();) {
      if (blockLength_ >= kMaxRtfBlockLength)
        insertBlock(cursor_.blockFormat(), format);
      const qsizetype n = std::min(text.size() - at, qsizetype(kMaxRtfBlockLength - blockLength_));
      cursor_.insertText(text.mid(at, n), format);
      blockLength_ += int(n);
      at += n;
    }
  }

  void insertBlock(const QTextBlockFormat &format, const QTextCharFormat &charFormat) {
    cursor_.insertBlock(format, charFormat);
    blockLength_ = 0;
  }

  void setBlockFormat(const QTextBlockFormat &format) {
    if (table_)
      paragraph().format = format;
    else
      cursor_.setBlockFormat(format);
  }

  // Table paragraphs are table cells only while tables are few enough.
  bool inTableMode() const { return state_.inTable && (table_ || tablesWritten_ < kMaxRtfTables); }

  // Makes room for the next text or paragraph: a new or the next table
  // cell, the paragraph after a table, or a new paragraph.
  void beginContent() {
    if (inTableMode())
      advanceInTable();
    else if (table_)
      writeTable();
    if (pendingBreak_) {
      if (table_)
        table_->rows.back().back().push_back({blockFormat(), charFormat(), {}});
      else
        insertBlock(blockFormat(), charFormat());
      pendingBreak_ = false;
    }
  }

  void advanceInTable() {
    if (!table_) {
      // The table ends the paragraph before it by itself.
      pendingBreak_ = false;
      table_.emplace();
      table_->cellRights = cellRights_;
      table_->columns = std::max(int(cellRights_.size()), 1);
      table_->rows.push_back({Cell{Paragraph{blockFormat(), charFormat(), {}}}});
      return;
    }
    Table &table = *table_;
    if (table.rowEnded) {
      if ((table.rows.size() + 1) * std::size_t(table.columns) > kMaxRtfTableCells) {
        writeTable();
        if (inTableMode())
          advanceInTable();
        return;
      }
      table.rows.emplace_back();
    } else if (!table.cellEnded) {
      return;
    } else if (Row &row = table.rows.back(); row.size() >= std::size_t(table.columns)) {
      if (table.columns >= kMaxRtfTableColumns ||
          table.rows.size() * std::size_t(table.columns + 1) > kMaxRtfTableCells) {
        // No room for another column: the cell's text joins the last one.
        table.cellEnded = pendingBreak_ = false;
        insertText(QStringLiteral("\t"), charFormat());
        return;
      }
      ++table.columns;
    }
    table.rows.back().push_back(Cell{Paragraph{blockFormat(), charFormat(), {}}});
    table.cellEnded = table.rowEnded = pendingBreak_ = false;
  }

  void writeTable() {
    Table table = std::move(*table_);
    table_.reset();
    ++tablesWritten_;
    QTextTableFormat format;
    format.setBorder(1);
    format.setBorderCollapse(true);
    format.setCellPadding(2);
    QList<QTextLength> widths;
    int left = 0;
    for (const int right : table.cellRights) {
      widths.append(
          QTextLength(QTextLength::FixedLength, std::max(right - left, 0) / kTwipsPerPixel));
      left = right;
    }
    format.setColumnWidthConstraints(widths);
    QTextTable *written = cursor_.insertTable(int(table.rows.size()), table.columns, format);
    for (std::size_t r = 0; r < table.rows.size(); ++r)
      for (std::size_t c = 0; c < table.rows[r].size(); ++c) {
        cursor_ = written->cellAt(int(r), int(c)).firstCursorPosition();
        bool first = true;
        for (const Paragraph &paragraph : table.rows[r][c]) {
          if (!first)
            cursor_.insertBlock(paragraph.format, paragraph.charFormat);
          else
            cursor_.setBlockFormat(paragraph.format);
          first = false;
          for (const auto &[text, charFormat] : paragraph.runs)
            cursor_.insertText(text, charFormat);
        }
      }
    cursor_ = written->lastCursorPosition();
    cursor_.movePosition(QTextCursor::NextBlock);
    blockLength_ = 0;
    pendingBreak_ = false;
  }

  // The paragraph's own formatting is the one in force at its end.
  void endParagraph() {
    beginContent();
    setBlockFormat(blockFormat());
    pendingBreak_ = true;
  }

  void endCell() {
    if (!inTableMode()) {
      textUnit(u'\t');
      return;
    }
    beginContent();
    setBlockFormat(blockFormat());
    if (table_)
      table_->cellEnded = true;
  }

  void endRow() {
    if (!table_) {
      endParagraph();
      return;
    }
    table_->rowEnded = true;
    table_->cellEnded = false;
  }

  void finish() {
    flushRun();
    if (!pendingBreak_ && !table_ && inText())
      cursor_.setBlockFormat(blockFormat());
    if (table_)
      writeTable();
    cursor_.endEditBlock();
  }

  const char *at_;
  const char *end_;
  std::unique_ptr<QTextDocument> document_;
  QTextCursor cursor_;
  bool done_ = false;

  State state_;
  std::vector<State> stack_;
  int flattened_ = 0;   // groups opened beyond kMaxRtfDepth and not yet closed
  int pendingSkip_ = 0; // fallback characters still to skip after \uN

  int codePage_ = kDefaultCodePage;
  int defaultFont_ = 0;
  std::map<int, FontEntry> fonts_;
  std::optional<int> definedFont_; // the font table entry being read
  std::vector<std::optional<QColor>> colors_;
  int red_ = 0, green_ = 0, blue_ = 0;
  bool colorGiven_ = false;
  CodePageDecoders decoders_;

  QByteArray bytes_; // undecoded text bytes, all in bytesCodePage_
  int bytesCodePage_ = kDefaultCodePage;
  QString run_;               // decoded text not yet in the document
  int blockLength_ = 0;       // characters in the block being written
  bool pendingBreak_ = false; // a \par whose next paragraph has no content yet

  std::optional<Table> table_; // being gathered
  int tablesWritten_ = 0;
  std::vector<int> cellRights_; // twips, from the row's \cellx words
};

} // namespace

bool looksLikeRtf(const QByteArray &bytes) {
  return bytes.startsWith("{\\rtf");
}

std::optional<std::unique_ptr<QTextDocument>> readRtf(const QByteArray &bytes) {
  if (!looksLikeRtf(bytes))
    return std::nullopt;
  return Reader(bytes).read();
}

} // namespace quillon::viewer
