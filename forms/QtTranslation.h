#pragma once

class QTranslator;

namespace quillon::forms {

// Loads Qt's own Russian texts (file dialogs, standard buttons) into
// `translator`, so that the dialogs Qt draws speak the program's language;
// false when the translation is not installed, and Qt's English stays.
bool loadQtTranslation(QTranslator &translator);

} // namespace quillon::forms
