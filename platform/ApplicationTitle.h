#pragma once

#include <QString>

namespace quillon::platform {

// The title of the program: the executable's file name without its folder
// and without everything from its first full stop on, every letter after
// the first in lower case, the first in upper case ("quillon" → "Quillon").
QString applicationTitleFor(const QString &executablePath);

} // namespace quillon::platform
