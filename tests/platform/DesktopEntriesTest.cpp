#include "platform/DesktopEntries.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace quillon::platform;
using quillon::test::ScratchDir;

namespace {

TEST(DesktopEntries, ProgramOfAnExecLine) {
  const struct {
    const char *exec;
    const char *program;
  } cases[] = {
      {"gimp %U", "gimp"},
      {"/usr/bin/gimp-2.10 %U", "/usr/bin/gimp-2.10"},
      {"  \"/opt/my apps/viewer\" --new %f", "/opt/my apps/viewer"},
      {"\"/opt/a \\\"b\\\"/c\"", "/opt/a \"b\"/c"},
      {"env LANG=C GDK_BACKEND=x11 mousepad %F", "mousepad"},
      {"env -u X eog", "eog"},
      {"", ""},
      {"\"unterminated", "unterminated"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(programOfExecLine(QString::fromUtf8(c.exec)), QString::fromUtf8(c.program)) << c.exec;
}

class DesktopEntryIcon : public testing::Test {
protected:
  void entry(const char *file, const QByteArray &content) {
    QFile out(dir.file(QLatin1String(file)));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(content);
  }
  QString iconFor(const char *program) {
    return DesktopEntryIcons({other.path(), dir.path()}).iconFor(QString::fromUtf8(program));
  }
  ScratchDir dir, other;
};

TEST_F(DesktopEntryIcon, FoundByFullPathOrBareName) {
  entry("a.desktop", "[Desktop Entry]\nType=Application\nExec=/usr/bin/viewer %f\nIcon=viewer\n");
  entry("b.desktop", "[Desktop Entry]\nType=Application\nExec=editor\nIcon=/icons/editor.png\n");
  EXPECT_EQ(iconFor("/usr/bin/viewer"), QStringLiteral("viewer"));
  EXPECT_EQ(iconFor("/opt/elsewhere/editor"), QStringLiteral("/icons/editor.png"));
  EXPECT_EQ(iconFor("/opt/elsewhere/viewer"), QString()) << "a full path must match whole";
  EXPECT_EQ(iconFor("/usr/bin/other"), QString());
}

TEST_F(DesktopEntryIcon, OnlyApplicationsOfTheMainGroupCount) {
  entry("link.desktop", "[Desktop Entry]\nType=Link\nExec=tool\nIcon=link-icon\n");
  entry("action.desktop", "[Desktop Entry]\nType=Application\nExec=main-tool\nIcon=main\n"
                          "[Desktop Action new]\nExec=tool --new\nIcon=action-icon\n");
  entry("noicon.desktop", "[Desktop Entry]\nType=Application\nExec=tool\n");
  entry("broken.desktop", "\xff\xfe garbage without groups = \n=\n[");
  EXPECT_EQ(iconFor("/usr/bin/tool"), QString());
  EXPECT_EQ(iconFor("/usr/bin/main-tool"), QStringLiteral("main"));
}

TEST_F(DesktopEntryIcon, EarlierFolderWins) {
  entry("t.desktop", "[Desktop Entry]\nType=Application\nExec=tool\nIcon=system\n");
  QFile own(other.file(QStringLiteral("t.desktop")));
  ASSERT_TRUE(own.open(QIODevice::WriteOnly));
  own.write("[Desktop Entry]\nType=Application\nExec=tool\nIcon=users-own\n");
  own.close();
  EXPECT_EQ(iconFor("/usr/bin/tool"), QStringLiteral("users-own"));
}

} // namespace
