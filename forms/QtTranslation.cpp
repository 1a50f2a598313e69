#include "forms/QtTranslation.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace quillon::forms {

bool loadQtTranslation(QTranslator &translator) {
  // Russian whatever the desktop's language: every text of the program is.
  return translator.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

} // namespace quillon::forms
