#include "settings/RegistryStore.h"

#include "settings/SettingsError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

namespace quillon::settings {

namespace {

const QString organisation = QStringLiteral("Tarnwick");
const QString application = QStringLiteral("Quillon");

QString quoted(const QString &name) {
  return u'\'' + name + u'\'';
}

// Elsewhere than on Windows the key is a file, which QSettings makes only
// when it first writes a value; made here, so that opening the key creates it
// as the registry does.
bool createKeyFile(const QString &path) {
#ifdef Q_OS_WIN
  Q_UNUSED(path);
  return true;
#else
  const QFileInfo info(path);
  if (info.isFile())
    return true;
  if (info.exists() || !QDir().mkpath(info.absolutePath()))
    return false;
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || QFileInfo(path).isFile();
#endif
}

} // namespace

const QString RegistryStore::programKeyName = QStringLiteral("Software\\Tarnwick\\Quillon");

RegistryKey::RegistryKey(QSettings &settings, const QString &subkey)
    : settings_(&settings), prefix_(subkey.isEmpty() ? QString() : subkey + u'/') {}

QString RegistryKey::settingsKey(const QString &name) const {
  return prefix_ + name;
}

std::optional<QString> RegistryKey::readString(const QString &name) const {
  const QString key = settingsKey(name);
  if (!settings_->contains(key))
    return std::nullopt;
  const QVariant value = settings_->value(key);
  if (value.typeId() != QMetaType::QString)
    throw SettingsError(QStringLiteral("Invalid data type for %1").arg(quoted(name)));
  return value.toString();
}

void RegistryKey::writeString(const QString &name, const QString &value) {
  const QString key = settingsKey(name);
  // QSettings checks writability only when it syncs, and its status keeps
  // the first problem it met, so a store it found malformed would hide a
  // failed write: ask first.
  if (!settings_->isWritable())
    throw SettingsError(QStringLiteral("Failed to set data for %1").arg(quoted(name)));
  const bool existed = settings_->contains(key);
  const QVariant before = settings_->value(key);
  settings_->setValue(key, value);
  settings_->sync();
  if (settings_->status() == QSettings::AccessError) {
    // The unwritten value would otherwise linger in Qt's cache of the file
    // and be read back later in this run as if it had been stored.
    if (existed)
      settings_->setValue(key, before);
    else
      settings_->remove(key);
    throw SettingsError(QStringLiteral("Failed to set data for %1").arg(quoted(name)));
  }
}

RegistryStore::RegistryStore()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            organisation, application)) {
  // Only the user's own key counts, as in the registry: no organisation-wide
  // or system-wide values behind it.
  settings_->setFallbacksEnabled(false);
  if (!createKeyFile(settings_->fileName()))
    throw SettingsError(QStringLiteral("Failed to create key %1").arg(programKeyName));
}

RegistryStore::~RegistryStore() = default;

QString RegistryStore::location() const {
  return settings_->fileName();
}

RegistryKey RegistryStore::programKey() {
  return RegistryKey(*settings_, QString());
}

RegistryKey RegistryStore::subkey(const QString &name) {
  return RegistryKey(*settings_, name);
}

RegistryKey RegistryStore::createSubkey(const QString &name) {
  // A group comes into being with its first value; what can fail is the
  // store taking any value at all.
  if (!settings_->isWritable())
    throw SettingsError(QStringLiteral("Failed to create key %1").arg(name));
  return RegistryKey(*settings_, name);
}

} // namespace quillon::settings
