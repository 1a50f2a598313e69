#pragma once

#include <QString>

#include <memory>
#include <optional>

class QSettings;

namespace quillon::settings {

// One key of the store: the program's key itself or one of its subkeys.
// Every value is a string.
class RegistryKey {
public:
  // The named value; nothing when it is absent. A value of another type
  // fails with "Invalid data type for '<name>'".
  std::optional<QString> readString(const QString &name) const;

  // Stores the value at once. When it cannot be stored this fails with
  // "Failed to set data for '<name>'" and the value reads as before.
  void writeString(const QString &name, const QString &value);

private:
  friend class RegistryStore;
  RegistryKey(QSettings &settings, const QString &subkey);

  QString settingsKey(const QString &name) const;

  QSettings *settings_;
  QString prefix_;
};

// The user's settings under the program's key Software\Tarnwick\Quillon:
// the registry on Windows, ~/.config/Tarnwick/Quillon.conf elsewhere, where
// a subkey is a group of the file.
class RegistryStore {
public:
  static const QString programKeyName;

  // Opens the program's key, creating it when missing; fails with
  // "Failed to create key Software\Tarnwick\Quillon" when it cannot be.
  RegistryStore();
  ~RegistryStore();
  RegistryStore(const RegistryStore &) = delete;
  RegistryStore &operator=(const RegistryStore &) = delete;

  // Where the values live, for messages and tests.
  QString location() const;

  RegistryKey programKey();

  // A subkey for reading; a missing one reads as empty.
  RegistryKey subkey(const QString &name);

  // A subkey for writing; fails with "Failed to create key <name>" when the
  // store cannot take it.
  RegistryKey createSubkey(const QString &name);

private:
  std::unique_ptr<QSettings> settings_;
};

} // namespace quillon::settings
