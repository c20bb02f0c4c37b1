#include "shell/Main.h"

namespace shell {

driver::Value NullToDefault(const driver::Value& value, const driver::Value& fallback) {
    return driver::isNull(value) ? fallback : value;
}

QVariant NullToDefault(const QVariant& value, const QVariant& fallback) {
    return value.isNull() ? fallback : value;
}

bool PathExists(const platform::FileSystem& files, const QString& path) {
    try {
        return files.hasModificationTime(path);
    } catch (...) {
        return false;
    }
}

bool IsFolder(const platform::FileSystem& files, const QString& path) {
    try {
        const auto value = files.attributes(path);
        return value && (*value & platform::Directory);
    } catch (...) {
        return false;
    }
}

QString FileNameFromPath(const QString& path) { return path.mid(path.lastIndexOf('/') + 1); }

QString ProgramDriveRoot(const platform::FileSystem& files, const platform::Process& process) {
    QString home = process.homeFolder();
    const auto value = home.isEmpty() ? std::nullopt : files.attributes(home);
    if (!value || !(*value & platform::Directory) || (*value & platform::ReadOnly)) return {};
    while (home.endsWith('/')) home.chop(1);
    return home + '/';
}

QString ApplicationTitleFor(const QString& productName) {
    QString title = productName;
    if (!title.contains(' ')) return title;
    do {
        title = title.left(title.lastIndexOf(' '));
    } while (title.size() > 40 && title.contains(' '));
    return title;
}

}  // namespace shell

