// The whole import run (screens driven headless, workbook written with the
// workbook library, no application opened) of a table with 10 mixed fields,
// against libxlsxwriter alone writing the same cells from memory, in the
// same run; with the size of each workbook.
//
//   bench_export DIR           tables kept in DIR (written on the first run)
//   bench_export DIR pictures  the import of tables with a picture in every
//                              row: 1,000, 10,000 and 100,000 rows
//
// Each measurement runs in a process of its own so that its peak memory
// (getrusage's maxrss) is its own: the import of 100,000 rows, the import of
// 1,000,000 rows, and libxlsxwriter alone for 1,000,000 rows.

#include "../../tests/support/Bitmaps.h"
#include "paradoxwriter/Writer.h"
#include "platform/Platform.h"
#include "screens/Form1.h"
#include "screens/Form2.h"
#include "screens/Form3.h"
#include "screens/Wizard.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <xlsxwriter.h>

#include <cstdio>
#include <sys/resource.h>

namespace {

using driver::Value;

constexpr int kFields = 10;

std::string nameOf(std::int64_t i) {
    static const char* const kNames[] = {"Müller", "Dubois", "Øresund", "Smith", "García", "Nowak"};
    return std::string(kNames[i % 6]) + " " + std::to_string(i);
}

// Row i of the table, the same for the writer and for the baseline.
std::vector<Value> rowOf(std::int64_t i) {
    static const char* const kCities[] = {"Dresden", "São Paulo", "Besançon", "Oslo", "Kraków"};
    std::string notes = i % 50 == 0 ? std::string(300, char('a' + i % 26)) : "note " + std::to_string(i % 997);
    return {
        Value(i + 1),
        Value(nameOf(i)),
        Value(std::string(kCities[i % 5])),
        i % 17 == 0 ? Value(driver::Null{}) : Value(driver::Money{double(i % 100000) / 100.0}),
        Value(double(i) / 7.0),
        Value(driver::Date{1950 + int(i % 70), 1 + int(i % 12), 1 + int(i % 28)}),
        Value(driver::Timestamp{driver::Date{2000 + int(i % 25), 1 + int(i % 12), 1 + int(i % 28)},
                                driver::Time{(i * 1000) % 86'400'000}}),
        Value(i % 3 == 0),
        Value(std::int64_t(i % 30000)),
        Value(notes),
    };
}

void writeTable(const QString& file, std::int64_t rows) {
    using driver::FieldType;
    paradoxwriter::Options options;
    options.blockKiB = 32;
    paradoxwriter::Writer w(file.toStdString(),
                            {{"Id", FieldType::Long},       {"Name", FieldType::Alpha, 30},
                             {"City", FieldType::Alpha, 20}, {"Amount", FieldType::Money},
                             {"Ratio", FieldType::Number},   {"Born", FieldType::Date},
                             {"Updated", FieldType::Timestamp}, {"Active", FieldType::Logical},
                             {"Count", FieldType::Short},    {"Notes", FieldType::Memo, 20}},
                            options);
    for (std::int64_t i = 0; i < rows; ++i) w.addRow(rowOf(i));
    w.finish();
}

// A picture in every row: a 40 x 30 bitmap of its own (3,654 bytes), an id and a name.
void writePictureTable(const QString& file, std::int64_t rows) {
    using driver::FieldType;
    paradoxwriter::Options options;
    options.blockKiB = 32;
    paradoxwriter::Writer w(file.toStdString(),
                            {{"Id", FieldType::Long}, {"Name", FieldType::Alpha, 30}, {"Photo", FieldType::Graphic}},
                            options);
    for (std::int64_t i = 0; i < rows; ++i)
        w.addRow({Value(i + 1), Value(nameOf(i)),
                  Value(driver::Bytes{FieldType::Graphic, test_images::bitmap(40, 30, int(i % 251))})});
    w.finish();
}

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Processor time (user and system) this process has used so far.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int importRun(const QString& folder, const QString& table) {
    QTemporaryDir scratch;
    qputenv("XDG_CONFIG_HOME", scratch.path().toUtf8());
    platform::QtMessageBoxes unusedBoxes;
    // Every box answers OK without showing; nothing is opened at the end.
    struct SilentBoxes : platform::MessageBoxes {
        platform::Answer show(const QString&, const QString&, platform::Buttons, platform::Icon) override {
            return platform::Answer::Ok;
        }
    } boxes;
    platform::IniSettingsStore settings(scratch.path());
    platform::QtProcess process;
    platform::LinuxFileSystem files;
    platform::QtFolderDialogs dialogs;
    platform::SpreadsheetEnvironment world = platform::SpreadsheetEnvironment::system();
    world.findProgram = [](const QString&) { return QString("/usr/bin/soffice"); };
    world.processes = [] { return std::vector<platform::RunningProcess>{}; };
    world.launch = [](const QString&, const QStringList&) { return true; };
    world.temporaryFolder = scratch.path();
    platform::XlsxSpreadsheets sheets(world);
    platform::Platform os{boxes, settings, process, files, dialogs, sheets,
                          [](QWidget* w) { return std::make_unique<platform::QtWindow>(w); }};

    screens::Wizard wizard(os);
    wizard.start();
    wizard.form1().Text1->setText(folder);
    wizard.form1().PushButton3_Click();
    screens::Form2& f2 = wizard.form2();
    for (int i = 1; i <= f2.ListView1->count(); ++i)
        if (f2.ListView1->itemText(i) == table) f2.ListView1->selectPosition(i);
    f2.PushButton3_Click();
    screens::Form3& f3 = wizard.form3();
    f3.PushButton6_Click();

    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = cpuSeconds();
    f3.PushButton9_Click();
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;
    const bool ok = f3.PushButton9->text() == "Exit";
    long long bytes = 0;
    for (const QFileInfo& folder : QDir(scratch.path()).entryInfoList({"vellomar-*"}, QDir::Dirs))
        bytes += QFileInfo(folder.filePath() + "/Book1.xlsx").size();
    std::printf("%.3f %.3f %ld %lld %s\n", seconds, cpu, peakKiB(), bytes, ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}

// libxlsxwriter alone: the same header and cells, typed the same way.
int baseline(std::int64_t rows) {
    QTemporaryDir scratch;
    const QByteArray file = (scratch.path() + "/Book1.xlsx").toUtf8();
    std::vector<std::vector<Value>> table;  // every value in memory before the clock starts
    table.reserve(std::size_t(rows));
    for (std::int64_t i = 0; i < rows; ++i) table.push_back(rowOf(i));
    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = cpuSeconds();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    const QByteArray tmp = scratch.path().toUtf8();
    options.tmpdir = const_cast<char*>(tmp.constData());
    lxw_workbook* book = workbook_new_opt(file.constData(), &options);
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    lxw_format* money = workbook_add_format(book);
    format_set_num_format(money, "#,##0.00");
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "yyyy-mm-dd");
    lxw_format* stamp = workbook_add_format(book);
    format_set_num_format(stamp, "yyyy-mm-dd hh:mm:ss");
    const char* header[kFields] = {"Id", "Name", "City", "Amount", "Ratio", "Born", "Updated", "Active", "Count", "Notes"};
    for (int c = 0; c < kFields; ++c) worksheet_write_string(sheet, 0, lxw_col_t(c), header[c], nullptr);
    const auto serial = [](const driver::Date& d) {
        const QDate day(d.year, d.month, d.day);
        return double(QDate(1899, 12, 30).daysTo(day));
    };
    for (std::int64_t i = 0; i < rows; ++i) {
        const std::vector<Value>& row = table[std::size_t(i)];
        const lxw_row_t r = lxw_row_t(i + 1);
        worksheet_write_number(sheet, r, 0, double(std::get<std::int64_t>(row[0])), nullptr);
        worksheet_write_string(sheet, r, 1, std::get<std::string>(row[1]).c_str(), nullptr);
        worksheet_write_string(sheet, r, 2, std::get<std::string>(row[2]).c_str(), nullptr);
        if (auto* m = std::get_if<driver::Money>(&row[3])) worksheet_write_number(sheet, r, 3, m->value, money);
        worksheet_write_number(sheet, r, 4, std::get<double>(row[4]), nullptr);
        worksheet_write_number(sheet, r, 5, serial(std::get<driver::Date>(row[5])), date);
        const auto& ts = std::get<driver::Timestamp>(row[6]);
        worksheet_write_number(sheet, r, 6, serial(ts.date) + double(ts.time.milliseconds) / 86'400'000.0, stamp);
        worksheet_write_boolean(sheet, r, 7, std::get<bool>(row[7]) ? 1 : 0, nullptr);
        worksheet_write_number(sheet, r, 8, double(std::get<std::int64_t>(row[8])), nullptr);
        worksheet_write_string(sheet, r, 9, std::get<std::string>(row[9]).c_str(), nullptr);
    }
    const bool ok = workbook_close(book) == LXW_NO_ERROR;
    std::printf("%.3f %.3f %ld %lld %s\n", timer.nsecsElapsed() / 1e9, cpuSeconds() - cpuBefore, peakKiB(),
                static_cast<long long>(QFileInfo(QString::fromUtf8(file)).size()), ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}

struct Measure {
    double seconds = 0;
    double cpu = 0;
    long peak = 0;
    long long bytes = 0;
    bool ok = false;
};

Measure measure(const QStringList& arguments) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
    Measure m;
    char status[16] = {};
    m.ok = std::sscanf(child.readAllStandardOutput().constData(), "%lf %lf %ld %lld %15s", &m.seconds, &m.cpu,
                       &m.peak, &m.bytes, status) == 5 &&
           std::string(status) == "ok";
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == "import") return importRun(args[2], args[3]);
    if (args.size() == 3 && args[1] == "baseline") return baseline(args[2].toLongLong());
    if (args.size() != 2 && !(args.size() == 3 && args[2] == "pictures")) {
        std::fprintf(stderr, "usage: bench_export DIR [pictures]\n");
        return 2;
    }
    const QString folder = args[1];
    QDir().mkpath(folder);
    if (args.size() == 3 && args[2] == "pictures") {
        bool ok = true;
        for (auto [name, rows] : {std::pair{"PICS1K", 1'000}, std::pair{"PICS10K", 10'000}, std::pair{"PICS100K", 100'000}}) {
            const QString file = folder + "/" + name + ".DB";
            if (!QFile::exists(file)) writePictureTable(file, rows);
            const Measure m = measure({"import", folder, name});
            std::printf("import %7d rows with pictures %7.2f s  %8.0f rows/s  cpu %7.2f s  peak %6.1f MiB  file %7.2f MB %s\n",
                        rows, m.seconds, rows / m.seconds, m.cpu, m.peak / 1024.0, m.bytes / 1e6, m.ok ? "" : "FAILED");
            ok = ok && m.ok;
        }
        return ok ? 0 : 1;
    }
    for (auto [name, rows] : {std::pair{"ROWS100K", 100'000}, std::pair{"ROWS1M", 1'000'000}}) {
        const QString file = folder + "/" + name + ".DB";
        if (!QFile::exists(file)) {
            std::printf("writing %s ...\n", qPrintable(file));
            writeTable(file, rows);
        }
    }
    const Measure small = measure({"import", folder, "ROWS100K"});
    const Measure large = measure({"import", folder, "ROWS1M"});
    const Measure alone = measure({"baseline", "1000000"});
    const auto line = [](const char* what, const Measure& m) {
        std::printf("%-24s %7.2f s  cpu %7.2f s  peak %6.1f MiB  file %7.2f MB %s\n", what, m.seconds, m.cpu,
                    m.peak / 1024.0, m.bytes / 1e6, m.ok ? "" : "FAILED");
    };
    line("import 100,000 rows", small);
    line("import 1,000,000 rows", large);
    line("libxlsxwriter alone", alone);
    std::printf("ratio for 1,000,000 rows: %.3f (processor time %.3f, file size %.3f)\n",
                large.seconds / alone.seconds, large.cpu / alone.cpu, double(large.bytes) / double(alone.bytes));
    return small.ok && large.ok && alone.ok ? 0 : 1;
}
