#include "platform/Process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>

#include <cstdio>
#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace platform {

QString DataFolderOf(const QString& programFolder) {
    if (QFileInfo(programFolder + "/Samples").isDir()) return programFolder;
    const QString installed = QDir::cleanPath(programFolder + "/../share/vellomar");
    return QFileInfo(installed).isDir() ? installed : programFolder;
}

QString QtProcess::programFolder() const { return QCoreApplication::applicationDirPath(); }

QString QtProcess::dataFolder() const { return DataFolderOf(programFolder()); }
QString QtProcess::homeFolder() const {
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty())
        if (const passwd* user = ::getpwuid(::getuid())) home = user->pw_dir;
    return QFile::decodeName(home);
}

namespace {
constexpr qint64 kEventInterval = 15;  // milliseconds
}

QtProcess::QtProcess() { sinceEvents_.start(); }

void QtProcess::processEvents() {
    if (sinceEvents_.elapsed() < kEventInterval) return;
    QCoreApplication::processEvents();
    sinceEvents_.restart();
}

void QtProcess::end() {
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace platform
