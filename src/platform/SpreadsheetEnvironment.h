#pragma once
// What the spreadsheet adapter asks of the system: which programs are
// installed, which application opens .xlsx files, which processes run, where
// temporary files go, and starting a program. Every piece is a function so
// tests can fake the world and never start an application.

#include <QString>
#include <QStringList>

#include <functional>
#include <sys/types.h>
#include <vector>

namespace platform {

// MIME type of an .xlsx workbook.
inline constexpr const char* kXlsxMimeType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

// Process name (as /proc/<pid>/comm shows it) of a running LibreOffice.
inline constexpr const char* kLibreOfficeProcess = "soffice.bin";

struct RunningProcess {
    QString name;  // /proc/<pid>/comm, at most 15 characters
    uid_t owner = 0;
};

struct SpreadsheetEnvironment {
    // Full path of an executable on the PATH, or empty when there is none.
    std::function<QString(const QString& program)> findProgram;
    // Desktop entry of the default application for a MIME type ("" when none).
    std::function<QString(const QString& mimeType)> defaultApplication;
    // The processes running now.
    std::function<std::vector<RunningProcess>()> processes;
    // Starts a program detached from this one; false when it could not start.
    std::function<bool(const QString& program, const QStringList& arguments)> launch;
    // The folder in which each workbook gets a private folder of its own.
    QString temporaryFolder;
    // This user, whose processes count as running.
    uid_t user = 0;

    // The real system: PATH lookup, xdg-mime, /proc, QProcess::startDetached,
    // the standard temporary location, getuid().
    static SpreadsheetEnvironment system();
};

// Every process in /proc with its name and owner. Processes that end while
// they are read are left out.
std::vector<RunningProcess> readProcessTable();

}  // namespace platform
