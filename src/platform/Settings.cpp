#include "platform/Settings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <stdexcept>

namespace platform {

IniSettingsStore::IniSettingsStore(QString configFolder) : configFolder_(std::move(configFolder)) {
    if (configFolder_.isEmpty())
        configFolder_ = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString IniSettingsStore::fileFor(const QString& application) const {
    return configFolder_ + "/" + application + "/" + application + ".ini";
}

QString IniSettingsStore::GetSetting(const QString& application, const QString& section,
                                     const QString& key, const QString& fallback) const {
    // A fresh QSettings per call reads the file as it is now.
    QSettings ini(fileFor(application), QSettings::IniFormat);
    const QVariant value = ini.value(section + "/" + key);
    if (ini.status() != QSettings::NoError)
        throw std::runtime_error("Could not read the settings file " +
                                 fileFor(application).toStdString());
    return value.isValid() ? value.toString() : fallback;
}

void IniSettingsStore::SaveSetting(const QString& application, const QString& section,
                                   const QString& key, const QString& value) {
    const QString file = fileFor(application);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSettings ini(file, QSettings::IniFormat);
    ini.setValue(section + "/" + key, value);
    ini.sync();
    if (ini.status() != QSettings::NoError)
        throw std::runtime_error("Could not write the settings file " + file.toStdString());
}

}  // namespace platform
