#include "data/TextCheck.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <optional>

using quillon::data::TextCheck;
using Fault = TextCheck::Fault;

namespace {

struct Outcome {
  std::optional<Fault> fault;
  qint64 offset = -1;
  bool operator==(const Outcome &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Outcome &outcome) {
  if (!outcome.fault)
    return out << "accepted";
  return out << (*outcome.fault == Fault::ZeroByte ? "zero byte" : "invalid character") << " at "
             << outcome.offset;
}

// Feeds `bytes` in chunks of `chunk` bytes, then ends the value.
Outcome check(const QByteArray &bytes, bool utf8, qint64 chunk) {
  TextCheck text(utf8);
  for (qint64 at = 0; at < bytes.size(); at += chunk)
    if (const auto refusal = text.feed(bytes.constData() + at, qMin(chunk, bytes.size() - at)))
      return {refusal->fault, refusal->offset};
  if (const auto refusal = text.finish())
    return {refusal->fault, refusal->offset};
  return {};
}

// Every split of the value gives the same answer: characters and faults
// may lie across chunks.
Outcome checkEverySplit(const QByteArray &bytes, bool utf8) {
  const Outcome whole = check(bytes, utf8, qMax<qint64>(1, bytes.size()));
  for (qint64 chunk = 1; chunk < bytes.size(); ++chunk)
    EXPECT_EQ(check(bytes, utf8, chunk), whole) << "in chunks of " << chunk;
  return whole;
}

TEST(TextCheckTest, WellFormedUtf8Passes) {
  for (const char *text :
       {"", "plain ASCII\r\n", "Привет, мир", "\xe2\x82\xac 5", "\xf0\x9f\x98\x80",
        "\xed\x9f\xbf\xee\x80\x80", "\xf4\x8f\xbf\xbf", "\xc2\x80\xdf\xbf"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(checkEverySplit(text, true), Outcome{});
  }
}

TEST(TextCheckTest, TheFirstByteThatBeginsNoCharacterIsNamed) {
  const struct {
    QByteArray bytes;
    Outcome expected;
  } cases[] = {
      {"ab\x80", {Fault::InvalidCharacter, 2}},                // a lone continuation byte
      {"a\xc0\xaf", {Fault::InvalidCharacter, 1}},             // overlong '/'
      {"a\xc1\xbf", {Fault::InvalidCharacter, 1}},             // overlong
      {"\xe0\x80\xaf", {Fault::InvalidCharacter, 0}},          // overlong, three bytes
      {"\xf0\x80\x80\xaf", {Fault::InvalidCharacter, 0}},      // overlong, four bytes
      {"ok \xed\xa0\x80", {Fault::InvalidCharacter, 3}},       // a surrogate
      {"\xf4\x90\x80\x80", {Fault::InvalidCharacter, 0}},      // above U+10FFFF
      {"\xf5\x80\x80\x80", {Fault::InvalidCharacter, 0}},      // no such lead byte
      {"\xff\xfe", {Fault::InvalidCharacter, 0}},              // a UTF-16 byte order mark
      {"\xd0\x9f\xd1", {Fault::InvalidCharacter, 2}},          // cut by the end
      {"\xe2\x82", {Fault::InvalidCharacter, 0}},              // cut by the end
      {"\xc3(", {Fault::InvalidCharacter, 0}},                 // a character cut short
      {"\xcf\xf0\xe8", {Fault::InvalidCharacter, 0}},          // Windows-1251
      {QByteArray("a\0b", 3), {Fault::ZeroByte, 1}},           // a zero byte
      {QByteArray("\xd0\0", 2), {Fault::InvalidCharacter, 0}}, // a zero inside a character
      {QByteArray("\xd0\x9f\0\x80", 4), {Fault::ZeroByte, 2}}, // the first fault counts
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.bytes.toHex(' ').toStdString());
    EXPECT_EQ(checkEverySplit(c.bytes, true), c.expected);
  }
}

TEST(TextCheckTest, WithoutUtf8OnlyZeroBytesAreRefused) {
  EXPECT_EQ(checkEverySplit("\xcf\xf0\xe8\xe2\xe5\xf2 \xff\xfe", false), Outcome{});
  EXPECT_EQ(checkEverySplit(QByteArray("\xcf\xf0\xe8\0\xe2\0", 6), false),
            (Outcome{Fault::ZeroByte, 3}));
  // Offsets count from the value's start, not the chunk's.
  QByteArray large(3 << 20, 'x');
  large[(2 << 20) + 7] = '\0';
  EXPECT_EQ(check(large, false, 1 << 20), (Outcome{Fault::ZeroByte, (2 << 20) + 7}));
  EXPECT_EQ(check(large, true, 1 << 20), (Outcome{Fault::ZeroByte, (2 << 20) + 7}));
}

} // namespace
