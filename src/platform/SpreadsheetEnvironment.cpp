#include "platform/SpreadsheetEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kQueryTimeoutMs = 5000;

QString queryDefaultApplication(const QString& mimeType) {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) return {};
    QProcess query;
    query.setStandardInputFile(QProcess::nullDevice());
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(kQueryTimeoutMs)) {
        query.kill();
        query.waitForFinished(kQueryTimeoutMs);
        return {};
    }
    if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0) return {};
    return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
}

}  // namespace

std::vector<RunningProcess> readProcessTable() {
    std::vector<RunningProcess> result;
    const QDir proc(QStringLiteral("/proc"));
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        entry.toLongLong(&numeric);
        if (!numeric) continue;
        const QByteArray folder = QFile::encodeName(proc.filePath(entry));
        struct stat info {};
        if (::stat(folder.constData(), &info) != 0) continue;
        QFile comm(proc.filePath(entry) + QStringLiteral("/comm"));
        if (!comm.open(QIODevice::ReadOnly)) continue;
        const QByteArray name = comm.readAll();
        result.push_back({QString::fromUtf8(name).trimmed(), info.st_uid});
    }
    return result;
}

SpreadsheetEnvironment SpreadsheetEnvironment::system() {
    SpreadsheetEnvironment environment;
    environment.findProgram = [](const QString& program) { return QStandardPaths::findExecutable(program); };
    environment.defaultApplication = queryDefaultApplication;
    environment.processes = readProcessTable;
    environment.launch = [](const QString& program, const QStringList& arguments) {
        return QProcess::startDetached(program, arguments);
    };
    environment.temporaryFolder = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    environment.user = ::getuid();
    return environment;
}

}  // namespace platform
