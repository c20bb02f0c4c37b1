#include "platform/WorkbookFolders.h"

#include "platform/Spreadsheet.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

[[noreturn]] void refuse(const QString& folder, const std::string& cause) {
    throw TemporaryFolderError("No workbook can be written: the temporary folder \"" + folder.toStdString() + "\" " +
                               cause +
                               ".\r\n\r\nEach workbook is written in a folder of its own there before it opens in "
                               "your spreadsheet application. Make the folder writable, or start the program with "
                               "TMPDIR set to a folder you can write.");
}

}  // namespace

void CheckTemporaryFolder(const QString& temporaryFolder) {
    if (temporaryFolder.isEmpty()) refuse(temporaryFolder, "is not set");
    const QByteArray path = QFile::encodeName(temporaryFolder);
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        refuse(temporaryFolder, errno == ENOENT ? std::string("does not exist") : std::string("cannot be read (") +
                                                                                      std::strerror(errno) + ")");
    if (!S_ISDIR(info.st_mode)) refuse(temporaryFolder, "is not a folder");
    if (::access(path.constData(), W_OK | X_OK) != 0)
        refuse(temporaryFolder, std::string("is not writable (") + std::strerror(errno) + ")");
}

QString MakeWorkbookFolder(const QString& temporaryFolder) {
    QByteArray pattern =
        QFile::encodeName(QDir(temporaryFolder).filePath(QString::fromLatin1(kWorkbookFolderPrefix) + "XXXXXX"));
    if (::mkdtemp(pattern.data()) == nullptr)
        refuse(temporaryFolder, std::string("has no room for a new folder (") + std::strerror(errno) + ")");
    return QFile::decodeName(pattern);
}

int RemoveOldWorkbookFolders(const QString& temporaryFolder, std::chrono::seconds age) {
    const QByteArray parent = QFile::encodeName(temporaryFolder);
    DIR* dir = ::opendir(parent.constData());
    if (!dir) return 0;
    const ::time_t cutoff = ::time(nullptr) - ::time_t(age.count());
    const std::size_t prefix = std::strlen(kWorkbookFolderPrefix);
    QStringList old;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, kWorkbookFolderPrefix, prefix) != 0) continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && info.st_mtime < cutoff)
            old << QFile::decodeName(parent + "/" + entry->d_name);
    }
    ::closedir(dir);
    int removed = 0;
    for (const QString& folder : old) removed += QDir(folder).removeRecursively() ? 1 : 0;
    return removed;
}

}  // namespace platform
