#include "platform/Process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace platform {

QString DataFolderOf(const QString& programFolder) {
    if (QFileInfo(programFolder + "/Samples").isDir()) return programFolder;
    const QString installed = QDir::cleanPath(programFolder + "/../share/vellomar");
    return QFileInfo(installed).isDir() ? installed : programFolder;
}

QString QtProcess::programFolder() const { return QCoreApplication::applicationDirPath(); }

QString QtProcess::dataFolder() const { return DataFolderOf(programFolder()); }

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
