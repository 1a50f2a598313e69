#pragma once

#include <QString>

#include <stdexcept>

namespace quillon::settings {

// A failure of the user's settings store, carrying the message the general
// error box shows.
class SettingsError : public std::runtime_error {
public:
  explicit SettingsError(const QString &message) : std::runtime_error(message.toStdString()) {}

  QString message() const { return QString::fromStdString(what()); }
};

} // namespace quillon::settings
