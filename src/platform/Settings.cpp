#include "platform/Settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Why `file` cannot be written, in the system's words ("Permission denied").
// The file is replaced through a new file beside it, so its folder must be
// writable too.
std::string whyNotWritable(const QString& file) {
    const QByteArray path = QFile::encodeName(file);
    if (::access(path.constData(), F_OK) == 0) {
        const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0) return std::strerror(errno);
        ::close(fd);
    }
    const QByteArray folder = QFile::encodeName(QFileInfo(file).absolutePath());
    struct stat info {};
    if (::stat(folder.constData(), &info) != 0) return std::strerror(errno);
    if (!S_ISDIR(info.st_mode)) return std::strerror(ENOTDIR);
    if (::access(folder.constData(), W_OK | X_OK) != 0) return std::strerror(errno);
    return "it could not be replaced";
}

}  // namespace

IniSettingsStore::IniSettingsStore(QString configFolder) : configFolder_(std::move(configFolder)) {
    if (configFolder_.isEmpty())
        configFolder_ = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString IniSettingsStore::fileFor(const QString& application) const {
    return configFolder_ + "/" + application + "/" + application + ".ini";
}

QString IniSettingsStore::GetSetting(const QString& application, const QString& section,
                                     const QString& key, const QString& fallback) const {
    // A fresh QSettings per call reads the file as it is now. A file with
    // lines QSettings cannot parse still gives the keys it can (FormatError);
    // only a file that cannot be read at all is a failure.
    QSettings ini(fileFor(application), QSettings::IniFormat);
    const QVariant value = ini.value(section + "/" + key);
    if (ini.status() == QSettings::AccessError)
        throw std::runtime_error("Could not read the settings file " + fileFor(application).toStdString());
    return value.isValid() ? value.toString() : fallback;
}

void IniSettingsStore::SaveSetting(const QString& application, const QString& section,
                                   const QString& key, const QString& value) {
    const QString file = fileFor(application);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSettings ini(file, QSettings::IniFormat);
    ini.setValue(section + "/" + key, value);
    ini.sync();
    // FormatError only says that some of what was there could not be read;
    // the file has been written all the same, with every key that could.
    if (ini.status() == QSettings::AccessError)
        throw std::runtime_error("Could not write the settings file " + file.toStdString() + " (" +
                                 whyNotWritable(file) + ").");
}

}  // namespace platform
