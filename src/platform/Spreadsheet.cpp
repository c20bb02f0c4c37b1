#include "platform/Spreadsheet.h"

#include "platform/SpreadsheetWorkbook.h"
#include "platform/WorkbookFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace platform {

namespace {

// The program that shows a finished workbook, and the arguments before the file.
struct Viewer {
    QString program;
    QStringList arguments;
};

// LibreOffice when it is on the PATH ("-n" opens the file as a new, untitled
// document, as a workbook just added would be); otherwise the desktop's opener
// when some application is registered for .xlsx files.
std::optional<Viewer> findViewer(const SpreadsheetEnvironment& environment) {
    for (const char* name : {"soffice", "libreoffice"}) {
        const QString program = environment.findProgram(QString::fromLatin1(name));
        if (!program.isEmpty()) return Viewer{program, {QStringLiteral("-n")}};
    }
    const QString opener = environment.findProgram(QStringLiteral("xdg-open"));
    if (!opener.isEmpty() && !environment.defaultApplication(QString::fromLatin1(kXlsxMimeType)).isEmpty())
        return Viewer{opener, {}};
    return std::nullopt;
}

class XlsxApplication final : public SpreadsheetApplication {
public:
    XlsxApplication(SpreadsheetEnvironment environment, Viewer viewer, std::int64_t sheetRows)
        : environment_(std::move(environment)), viewer_(std::move(viewer)), sheetRows_(sheetRows) {}

    // A workbook never shown is dropped with its folder; a shown one stays,
    // because the spreadsheet application reads it after this object is gone.
    ~XlsxApplication() override {
        if (shown_ || folder_.isEmpty()) return;
        workbook_.reset();
        QDir(folder_).removeRecursively();
    }

    void addWorkbook() override {
        if (workbook_) throw std::runtime_error("This spreadsheet application already has its workbook.");
        folder_ = MakeWorkbookFolder(environment_.temporaryFolder);
        // Named as the first new workbook of an application is.
        workbook_ = std::make_unique<XlsxWorkbook>(QDir(folder_).filePath(QStringLiteral("Book1.xlsx")), sheetRows_);
    }

    Worksheet& ActiveSheet() override {
        if (!workbook_) throw std::runtime_error("There is no active sheet: no workbook has been added.");
        return *workbook_;
    }

    void setVisible(bool visible) override {
        if (!visible || shown_) return;
        if (!workbook_) addWorkbook();
        const QString file = QDir(folder_).filePath(QStringLiteral("Book1.xlsx"));
        workbook_->finish();
        QStringList arguments = viewer_.arguments;
        arguments << file;
        if (!environment_.launch(viewer_.program, arguments))
            throw std::runtime_error("Could not start " + viewer_.program.toStdString() + " to show the workbook " +
                                     file.toStdString() + ".");
        shown_ = true;
    }

    QString name() const override { return QString::fromLatin1(kSpreadsheetApplicationName); }

    workbook::Report report() const override { return workbook_ ? workbook_->report() : workbook::Report{}; }

private:
    SpreadsheetEnvironment environment_;
    Viewer viewer_;
    std::int64_t sheetRows_;
    QString folder_;
    std::unique_ptr<XlsxWorkbook> workbook_;
    bool shown_ = false;
};

}  // namespace

XlsxSpreadsheets::XlsxSpreadsheets(SpreadsheetEnvironment environment, std::int64_t sheetRows)
    : environment_(std::move(environment)), sheetRows_(sheetRows) {}

std::unique_ptr<SpreadsheetApplication> XlsxSpreadsheets::createNew() {
    CheckTemporaryFolder(environment_.temporaryFolder);
    RemoveOldWorkbookFolders(environment_.temporaryFolder, kWorkbookFolderLifetime);
    std::optional<Viewer> viewer = findViewer(environment_);
    if (!viewer)
        throw std::runtime_error(
            "No spreadsheet application was found to show the workbook: neither LibreOffice (soffice) is "
            "installed nor is an application set to open .xlsx files.");
    return std::make_unique<XlsxApplication>(environment_, std::move(*viewer), sheetRows_);
}

std::unique_ptr<SpreadsheetApplication> XlsxSpreadsheets::getRunning() {
    bool running = false;
    for (const RunningProcess& process : environment_.processes())
        if (process.owner == environment_.user && process.name == QLatin1String(kLibreOfficeProcess)) running = true;
    if (!running) throw std::runtime_error("No spreadsheet application is running.");
    // A workbook added to it is shown in the running LibreOffice, which
    // "soffice -n" hands its file to.
    std::optional<Viewer> viewer = findViewer(environment_);
    if (!viewer) throw std::runtime_error("The running spreadsheet application cannot be reached.");
    return std::make_unique<XlsxApplication>(environment_, std::move(*viewer), sheetRows_);
}

}  // namespace platform
