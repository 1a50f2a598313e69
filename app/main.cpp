#include "forms/QtTranslation.h"
#include "forms/Windows.h"
#include "forms/uBlobFormFile.h"

#include <QApplication>
#include <QTranslator>

int main(int argc, char **argv) {
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral(QUILLON_COMPANY));
  QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
  QApplication::setQuitOnLastWindowClosed(false);
  // Ties the windows to the installed desktop entry and its icon.
  QApplication::setDesktopFileName(QStringLiteral("test.tarnwick.Quillon"));
  QTranslator qtTexts;
  if (quillon::forms::loadQtTranslation(qtTexts))
    QApplication::installTranslator(&qtTexts);

  quillon::forms::createWindows(QApplication::applicationDirPath());
  quillon::forms::InitStartupState();
  quillon::forms::frmMainForm->show();
  const int status = QApplication::exec();
  quillon::forms::destroyWindows();
  return status;
}
