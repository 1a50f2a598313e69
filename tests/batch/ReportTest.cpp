#include "batch/Report.h"

#include <gtest/gtest.h>

#include <QString>

#include <cstdio>
#include <cstdlib>

using quillon::batch::humanBytes;
using quillon::batch::Report;

namespace {

// What a report wrote, with its control sequences as they are.
class Captured {
public:
  Captured() : out_(open_memstream(&text_, &length_)) {}
  ~Captured() {
    if (out_)
      std::fclose(out_);
    std::free(text_);
  }
  FILE *stream() const { return out_; }
  QString text() {
    std::fflush(out_);
    return QString::fromUtf8(text_, qsizetype(length_));
  }

private:
  char *text_ = nullptr;
  size_t length_ = 0;
  FILE *out_;
};

TEST(ReportTest, ProblemsAreOneLineEachAndTheSummaryCountsThem) {
  Captured out;
  Report report(out.stream(), false, out.stream());
  report.written(1536);
  report.skipped("row id=2", "NULL");
  report.failed("row id=3 file out/3.jpg", "No space left on device");
  report.wouldWrite("file in/4.jpg row id=4", 10);
  report.progress(); // not a terminal: nothing
  report.finish("exported");
  EXPECT_EQ(out.text(), "skipped: row id=2: NULL\n"
                        "failed: row id=3 file out/3.jpg: No space left on device\n"
                        "would write file in/4.jpg row id=4\n"
                        "exported 2 files (1.5 KB), skipped 1, failed 1\n");
  EXPECT_EQ(report.failures(), 1);
}

TEST(ReportTest, OnATerminalOneProgressLineIsRedrawnAndClearedForProblems) {
  Captured out;
  Report report(out.stream(), true, out.stream());
  report.expect(4, 4 << 20);
  report.written(1 << 20);
  report.progress();
  report.skipped("row id=2", "NULL");
  report.finish("exported");
  const QString text = out.text();
  EXPECT_TRUE(text.startsWith("\r\033[K1/4 files, 1.0 MB, ")) << text.toStdString();
  EXPECT_TRUE(text.contains(" left")) << "no time left: " << text.toStdString();
  // The line is wiped before a problem is written over it.
  EXPECT_TRUE(text.contains("\r\033[Kskipped: row id=2: NULL\n")) << text.toStdString();
  EXPECT_TRUE(text.endsWith("exported 1 files (1.0 MB), skipped 1, failed 0\n"));
}

TEST(ReportTest, SizesReadAsPeopleReadThem) {
  EXPECT_EQ(humanBytes(0), "0 B");
  EXPECT_EQ(humanBytes(1023), "1023 B");
  EXPECT_EQ(humanBytes(1024), "1.0 KB");
  EXPECT_EQ(humanBytes((16 << 20) + 1), "16.0 MB");
  EXPECT_EQ(humanBytes(qint64(3) << 30), "3.0 GB");
}

} // namespace
