#include "platform/Spreadsheet.h"

#include "SpreadsheetReadBack.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>
#include <unistd.h>

using driver::Value;
using platform::RunningProcess;
using platform::SpreadsheetApplication;
using platform::SpreadsheetEnvironment;
using platform::XlsxSpreadsheets;
using spreadsheet_test::readWorkbook;
using testing::HasSubstr;
using testing::ThrowsMessage;

namespace {

struct Launch {
    QString program;
    QStringList arguments;
};

// A system with the programs, MIME handler and processes a test asks for,
// whose launches are only recorded.
class FakeSystem {
public:
    std::map<QString, QString> programs;  // name -> full path
    QString xlsxHandler;
    std::vector<RunningProcess> processes;
    bool launchStarts = true;
    std::vector<Launch> launches;
    QTemporaryDir temporary;

    SpreadsheetEnvironment environment() {
        SpreadsheetEnvironment environment;
        environment.findProgram = [this](const QString& name) {
            const auto found = programs.find(name);
            return found == programs.end() ? QString() : found->second;
        };
        environment.defaultApplication = [this](const QString& mimeType) {
            return mimeType == QLatin1String(platform::kXlsxMimeType) ? xlsxHandler : QString();
        };
        environment.processes = [this] { return processes; };
        environment.launch = [this](const QString& program, const QStringList& arguments) {
            launches.push_back({program, arguments});
            return launchStarts;
        };
        environment.temporaryFolder = temporary.path();
        environment.user = 1000;
        return environment;
    }

    QStringList leftInTemporary() const { return QDir(temporary.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }
};

std::unique_ptr<SpreadsheetApplication> newApplication(FakeSystem& system, std::int64_t sheetRows = platform::kSheetRows) {
    return XlsxSpreadsheets(system.environment(), sheetRows).createNew();
}

TEST(SpreadsheetsCreateNew, NeedsAnApplicationToShowTheWorkbook) {
    FakeSystem system;
    EXPECT_THAT([&] { newApplication(system); },
                ThrowsMessage<std::runtime_error>(HasSubstr("No spreadsheet application was found")));
    // The desktop opener alone is not enough: something must open .xlsx files.
    system.programs[QStringLiteral("xdg-open")] = QStringLiteral("/usr/bin/xdg-open");
    EXPECT_THROW(newApplication(system), std::runtime_error);
    system.xlsxHandler = QStringLiteral("gnumeric.desktop");
    EXPECT_NO_THROW(newApplication(system));

    FakeSystem libreOffice;
    libreOffice.programs[QStringLiteral("soffice")] = QStringLiteral("/usr/bin/soffice");
    const auto application = newApplication(libreOffice);
    EXPECT_EQ(application->name(), "Microsoft Excel");
    // Creating the instance writes nothing yet.
    EXPECT_TRUE(libreOffice.leftInTemporary().isEmpty());
}

TEST(SpreadsheetsCreateNew, NeedsAWritableTemporaryFolder) {
    FakeSystem system;
    system.programs[QStringLiteral("soffice")] = QStringLiteral("/usr/bin/soffice");
    SpreadsheetEnvironment environment = system.environment();
    environment.temporaryFolder = system.temporary.filePath(QStringLiteral("gone"));
    EXPECT_THAT([&] { XlsxSpreadsheets(environment).createNew(); },
                ThrowsMessage<std::runtime_error>(HasSubstr("No workbook can be written")));
}

TEST(SpreadsheetApplication, VisibleFinishesBook1AndOpensItAsANewDocument) {
    FakeSystem system;
    system.programs[QStringLiteral("soffice")] = QStringLiteral("/usr/bin/soffice");
    system.programs[QStringLiteral("xdg-open")] = QStringLiteral("/usr/bin/xdg-open");
    system.xlsxHandler = QStringLiteral("libreoffice-calc.desktop");
    auto application = newApplication(system);
    application->addWorkbook();
    platform::Worksheet& sheet = application->ActiveSheet();
    sheet.setCell(1, 1, QStringLiteral("NAME"));
    sheet.setCell(2, 1, Value{std::string("Ada")});
    EXPECT_TRUE(system.launches.empty());

    application->setVisible(true);
    ASSERT_EQ(system.launches.size(), 1u);
    const Launch& launch = system.launches[0];
    EXPECT_EQ(launch.program, "/usr/bin/soffice");
    ASSERT_EQ(launch.arguments.size(), 2);
    EXPECT_EQ(launch.arguments[0], "-n");
    const QFileInfo file(launch.arguments[1]);
    EXPECT_EQ(file.fileName(), "Book1.xlsx");
    EXPECT_EQ(file.dir().absolutePath(), QDir(system.temporary.path()).absoluteFilePath(file.dir().dirName()));
    struct stat folder {};
    ASSERT_EQ(::stat(QFile::encodeName(file.absolutePath()).constData(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);

    const auto sheets = readWorkbook(file.absoluteFilePath());
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].cells.at("A1").value, "NAME");
    EXPECT_EQ(sheets[0].cells.at("A2").value, "Ada");

    // Shown once; the finished workbook takes no more cells.
    application->setVisible(true);
    EXPECT_EQ(system.launches.size(), 1u);
    EXPECT_THAT([&] { sheet.setCell(3, 1, Value{1.0}); }, ThrowsMessage<std::runtime_error>(HasSubstr("has been shown")));
    // The application reads the file after this object is gone.
    application.reset();
    EXPECT_TRUE(file.exists());
}

TEST(SpreadsheetApplication, OpensWithLibreofficeOrTheDesktopOpener) {
    FakeSystem libreOffice;
    libreOffice.programs[QStringLiteral("libreoffice")] = QStringLiteral("/opt/lo/libreoffice");
    auto first = newApplication(libreOffice);
    first->addWorkbook();
    first->setVisible(true);
    ASSERT_EQ(libreOffice.launches.size(), 1u);
    EXPECT_EQ(libreOffice.launches[0].program, "/opt/lo/libreoffice");
    EXPECT_EQ(libreOffice.launches[0].arguments.value(0), "-n");

    FakeSystem desktop;
    desktop.programs[QStringLiteral("xdg-open")] = QStringLiteral("/usr/bin/xdg-open");
    desktop.xlsxHandler = QStringLiteral("org.gnome.Gnumeric.desktop");
    auto second = newApplication(desktop);
    second->addWorkbook();
    second->setVisible(true);
    ASSERT_EQ(desktop.launches.size(), 1u);
    EXPECT_EQ(desktop.launches[0].program, "/usr/bin/xdg-open");
    ASSERT_EQ(desktop.launches[0].arguments.size(), 1);
    EXPECT_TRUE(desktop.launches[0].arguments[0].endsWith(QLatin1String("/Book1.xlsx")));
}

TEST(SpreadsheetApplication, VisibleWithoutAWorkbookShowsAnEmptyOne) {
    FakeSystem system;
    system.programs[QStringLiteral("soffice")] = QStringLiteral("/usr/bin/soffice");
    auto application = newApplication(system);
    EXPECT_THAT([&] { application->ActiveSheet(); }, ThrowsMessage<std::runtime_error>(HasSubstr("no workbook")));
    application->setVisible(false);
    EXPECT_TRUE(system.launches.empty());
    application->setVisible(true);
    ASSERT_EQ(system.launches.size(), 1u);
    const auto sheets = readWorkbook(system.launches[0].arguments.value(1));
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].name, "Sheet1");
    EXPECT_TRUE(sheets[0].cells.empty());
}

TEST(SpreadsheetApplication, OneWorkbookPerInstanceAndNothingLeftWhenNeverShown) {
    FakeSystem system;
    system.programs[QStringLiteral("soffice")] = QStringLiteral("/usr/bin/soffice");
    {
        auto application = newApplication(system);
        application->addWorkbook();
        EXPECT_THROW(application->addWorkbook(), std::runtime_error);
        application->ActiveSheet().setCell(1, 1, QStringLiteral("A"));
        EXPECT_EQ(system.leftInTemporary().size(), 1);
    }
    EXPECT_TRUE(system.leftInTemporary().isEmpty());
}

TEST(SpreadsheetApplication, AnApplicationThatDoesNotStartIsReported) {
    FakeSystem system;
    system.programs[QStringLiteral("soffice")] = QStringLiteral("/usr/bin/soffice");
    system.launchStarts = false;
    {
        auto application = newApplication(system);
        application->addWorkbook();
        EXPECT_THAT([&] { application->setVisible(true); },
                    ThrowsMessage<std::runtime_error>(HasSubstr("Could not start /usr/bin/soffice")));
    }
    EXPECT_TRUE(system.leftInTemporary().isEmpty());
}

TEST(SpreadsheetApplication, ReportsCutTextsAndTheSheetsOfEveryRow) {
    FakeSystem system;
    system.programs[QStringLiteral("soffice")] = QStringLiteral("/usr/bin/soffice");
    auto application = newApplication(system, 3);
    EXPECT_FALSE(application->report().anyCut());
    application->addWorkbook();
    for (std::int64_t row = 2; row <= 6; ++row) application->ActiveSheet().setCell(row, 3, Value{std::string(33000, 'm')});
    const workbook::Report report = application->report();
    EXPECT_EQ(report.cutTexts, 5);
    EXPECT_EQ(report.cutColumns, std::vector<int>{3});
    EXPECT_EQ(report.cutRows, (std::vector<std::int64_t>{2, 3, 4, 5, 6}));
    EXPECT_EQ(report.sheets, (std::vector<workbook::SheetRows>{{"Sheet1", 2, 2}, {"Sheet2", 4, 2}, {"Sheet3", 6, 1}}));
}

TEST(SpreadsheetsGetRunning, FindsThisUsersLibreOffice) {
    FakeSystem system;
    system.programs[QStringLiteral("soffice")] = QStringLiteral("/usr/bin/soffice");
    XlsxSpreadsheets spreadsheets(system.environment());
    EXPECT_THAT([&] { spreadsheets.getRunning(); }, ThrowsMessage<std::runtime_error>(HasSubstr("No spreadsheet application is running")));
    system.processes = {{QStringLiteral("bash"), 1000}, {QStringLiteral("soffice"), 1000}, {QStringLiteral("soffice.bin"), 0}};
    EXPECT_THROW(spreadsheets.getRunning(), std::runtime_error);
    system.processes.push_back({QStringLiteral("soffice.bin"), 1000});
    EXPECT_EQ(spreadsheets.getRunning()->name(), "Microsoft Excel");
}

TEST(SpreadsheetsGetRunning, TheProcessTableHoldsThisTest) {
    const std::vector<RunningProcess> processes = platform::readProcessTable();
    // /proc/<pid>/comm holds the first 15 bytes of the program's name.
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15);
    const auto found = std::find_if(processes.begin(), processes.end(),
                                    [&](const RunningProcess& p) { return p.name == self && p.owner == ::getuid(); });
    EXPECT_NE(found, processes.end()) << self.toStdString();
}

// Opens a produced workbook in the real LibreOffice, headless, and looks for
// the values in its CSV export.
TEST(SpreadsheetLibreOffice, ReadsTheWorkbook) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";

    FakeSystem system;
    system.programs[QStringLiteral("soffice")] = soffice;
    auto application = newApplication(system);
    application->addWorkbook();
    platform::Worksheet& sheet = application->ActiveSheet();
    const std::vector<Value> values = {std::string("01067"),
                                       std::int64_t{42},
                                       driver::Money{1234.5},
                                       driver::Decimal{"-12.50"},
                                       driver::Date{2021, 8, 31},
                                       driver::Time{(13 * 3600 + 45 * 60 + 30) * 1000},
                                       driver::Timestamp{{1999, 12, 31}, driver::Time{23 * 3600 * 1000}},
                                       true,
                                       std::string("Z\xC3\xBCrich"),
                                       std::string("_x0041_")};
    for (std::size_t i = 0; i < values.size(); ++i)
        sheet.setCell(1, static_cast<int>(i) + 1, QStringLiteral("F%1").arg(i + 1));
    for (std::size_t i = 0; i < values.size(); ++i) sheet.setCell(2, static_cast<int>(i) + 1, values[i]);
    application->setVisible(true);
    const QString workbook = system.launches.at(0).arguments.value(1);

    QTemporaryDir out;
    QProcess convert;
    convert.start(soffice, {QStringLiteral("-env:UserInstallation=file://") + out.filePath(QStringLiteral("profile")),
                            QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                            // comma, double quotes, UTF-8, from line 1, cells as shown
                            QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true"),
                            QStringLiteral("--outdir"), out.path(), workbook});
    ASSERT_TRUE(convert.waitForFinished(240'000));
    QFile csv(out.filePath(QStringLiteral("Book1.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly)) << convert.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0].trimmed().toStdString(), "F1,F2,F3,F4,F5,F6,F7,F8,F9,F10");
    EXPECT_EQ(lines[1].trimmed().toStdString(),
              "01067,42,\"1,234.50\",-12.50,2021-08-31,13:45:30,1999-12-31 23:00:00,TRUE,Z\xC3\xBCrich,_x0041_");
}

}  // namespace
