// Writes Quillon's icon into an icon theme folder as hicolor PNG files:
//   make-icons THEME_DIR   ->  THEME_DIR/<n>x<n>/apps/quillon.png
#include "forms/CommandPictures.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-icons THEME_DIR\n");
    return 2;
  }
  // Drawing needs no screen.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  const QString themeDir = QString::fromLocal8Bit(argv[1]);
  const QIcon icon = quillon::forms::programIcon();
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(themeDir).arg(size);
    const QString file = folder + QStringLiteral("/quillon.png");
    const QImage image = icon.pixmap(size, size)
                             .toImage()
                             .scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!QDir().mkpath(folder) || !image.save(file, "PNG")) {
      std::fprintf(stderr, "make-icons: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
