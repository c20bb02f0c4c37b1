#include "cli/CommandLine.h"

#include "cli/Arguments.h"
#include "cli/ConsolePlatform.h"
#include "cli/ProgressMeter.h"
#include "cli/TableExport.h"
#include "datasource/Paradox.h"
#include "driver/ConnectionString.h"
#include "driver/Table.h"
#include "workbook/BlobFolder.h"
#include "workbook/OutputFile.h"
#include "workbook/TableWriter.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <system_error>

#include <signal.h>
#include <unistd.h>

#ifndef VELLOMAR_VERSION
#define VELLOMAR_VERSION "0"
#endif

namespace cli {
namespace {

namespace fs = std::filesystem;

void say(std::FILE* err, const std::string& text) { std::fprintf(err, "vellomar: %s\n", text.c_str()); }

std::string utf8(const QString& text) { return text.toStdString(); }

fs::path pathOf(const datasource::TablePlace& place) {
    return fs::path(QFile::encodeName(place.folder).toStdString()) / place.fileName.toStdString();
}

const char* typeName(driver::FieldType type) {
    switch (type) {
    case driver::FieldType::Alpha: return "Alpha";
    case driver::FieldType::Date: return "Date";
    case driver::FieldType::Short: return "Short";
    case driver::FieldType::Long: return "Long";
    case driver::FieldType::Money: return "Money";
    case driver::FieldType::Number: return "Number";
    case driver::FieldType::Logical: return "Logical";
    case driver::FieldType::Memo: return "Memo";
    case driver::FieldType::Binary: return "Binary";
    case driver::FieldType::FormattedMemo: return "FormattedMemo";
    case driver::FieldType::Ole: return "OLE";
    case driver::FieldType::Graphic: return "Graphic";
    case driver::FieldType::Time: return "Time";
    case driver::FieldType::Timestamp: return "Timestamp";
    case driver::FieldType::AutoIncrement: return "AutoIncrement";
    case driver::FieldType::Bcd: return "BCD";
    case driver::FieldType::Bytes: return "Bytes";
    }
    return "Unknown";
}

bool isFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// The tables under `folder` the wizard would list, in its order. Says why
// when the folder is not there.
std::vector<datasource::TablePlace> tablesUnder(const std::string& folder, std::FILE* err, bool& ok) {
    ok = isFolder(folder);
    if (!ok) {
        say(err, folder + ": no such folder");
        return {};
    }
    ConsolePlatform console(err);
    return datasource::FindTables(QFile::decodeName(QByteArray::fromStdString(folder)), console.platform());
}

// Says which tables of `places` their names do not tell apart: a file named
// ".db" lists with an empty name, and names that differ only in letter case
// list alike.
void sayUnclearNames(const std::vector<datasource::TablePlace>& places, std::FILE* err) {
    std::map<std::pair<QString, QString>, QStringList> byName;  // (folder, name) -> files
    for (const datasource::TablePlace& place : places) {
        const QString file = QFile::decodeName(place.fileName);
        if (place.text.isEmpty())
            say(err, utf8(place.folder + "/" + file) +
                         ": the file has no name before .db, so its table is listed with an empty name");
        byName[{place.folder, place.text}].push_back(file);
    }
    for (auto& [where, files] : byName) {
        if (files.size() < 2 || where.second.isEmpty()) continue;
        const QString last = files.takeLast();
        say(err, utf8(files.join(", ") + " and " + last + " in " + where.first + " differ only in letter case and are " +
                      (files.size() == 1 ? "both" : "all") + " listed as " + where.second));
    }
}

QJsonObject tableJson(const datasource::TablePlace& place, const driver::Table* table, const std::string& error) {
    QJsonObject entry{{"name", place.text}, {"folder", place.folder}, {"file", QFile::decodeName(place.fileName)}};
    if (!table) {
        entry["error"] = QString::fromStdString(error);
        return entry;
    }
    entry["rows"] = qint64(table->rowCount());
    QJsonArray fields;
    for (const driver::Field& field : table->fields())
        fields.append(QJsonObject{{"name", QString::fromStdString(field.name)},
                                  {"type", QLatin1String(typeName(field.type))},
                                  {"size", field.size}});
    entry["fields"] = fields;
    if (!table->damage().empty()) entry["damage"] = QString::fromStdString(table->damage());
    const driver::CodePageEvidence page = table->codePageEvidence();
    entry["codePage"] = page.declared != 0 ? page.declared : page.used;
    if (page.textShows != 0) entry["textCodePage"] = page.textShows;
    return entry;
}

int list(const Arguments& args, std::FILE* out, std::FILE* err) {
    bool ok = false;
    const std::vector<datasource::TablePlace> places = tablesUnder(args.inputs[0], err, ok);
    if (!ok) return kNothing;
    if (places.empty()) say(err, "no tables found in " + args.inputs[0]);
    sayUnclearNames(places, err);
    int status = kWhole;
    QJsonArray entries;
    for (const datasource::TablePlace& place : places) {
        std::unique_ptr<driver::Table> table;
        std::string error;
        try {
            table = driver::Table::open(pathOf(place));
        } catch (const std::exception& e) {
            error = e.what();
            say(err, error);
            status = kLosses;
        }
        if (args.json)
            entries.append(tableJson(place, table.get(), error));
        else
            std::fprintf(out, "%s\t%s\t%s\t%s\n", utf8(place.text).c_str(), utf8(place.folder).c_str(),
                         table ? std::to_string(table->rowCount()).c_str() : "?",
                         table ? std::to_string(table->fields().size()).c_str() : "?");
    }
    if (args.json) std::fputs(QJsonDocument(entries).toJson(QJsonDocument::Indented).constData(), out);
    return status;
}

// The format a file's name asks for, if any (letter case ignored).
std::optional<Format> formatNamed(const std::string& path) {
    const std::string extension = fs::path(path).extension().string();
    if (driver::equalsIgnoringCase(extension, ".xlsx")) return Format::Xlsx;
    if (driver::equalsIgnoringCase(extension, ".csv")) return Format::Csv;
    if (driver::equalsIgnoringCase(extension, ".sqlite") || driver::equalsIgnoringCase(extension, ".sqlite3"))
        return Format::Sqlite;
    return std::nullopt;
}

const char* formatName(Format format) {
    return format == Format::Csv ? "csv" : format == Format::Sqlite ? "sqlite" : "xlsx";
}

// While an export writes, INT, TERM, HUP and PIPE remove its unfinished file
// and end the program by the same signal (the shell sees 128 + the signal).
// A signal ignored when the program started stays ignored.
class EndOnSignals {
public:
    EndOnSignals() {
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            struct sigaction action {};
            action.sa_handler = &EndOnSignals::handle;
            sigemptyset(&action.sa_mask);
            ::sigaction(kSignals[i], nullptr, &previous_[i]);
            if (previous_[i].sa_handler != SIG_IGN) ::sigaction(kSignals[i], &action, nullptr);
        }
    }
    ~EndOnSignals() {
        for (std::size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &previous_[i], nullptr);
    }
    EndOnSignals(const EndOnSignals&) = delete;
    EndOnSignals& operator=(const EndOnSignals&) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    static void handle(int signal) {
        workbook::removeUnfinishedFiles();
        ::signal(signal, SIG_DFL);
        ::raise(signal);  // delivered, with its default action, when the handler returns
    }
    struct sigaction previous_[std::size(kSignals)] {};
};

struct Found {
    fs::path table;
    std::string name;
    fs::path subfolder;  // below the folder it was found in; empty for a named file
};

int exportTables(const Arguments& args, std::FILE* err) {
    int failures = 0;
    std::vector<Found> found;
    for (const std::string& input : args.inputs) {
        if (isFolder(input)) {
            bool ok = false;
            for (const datasource::TablePlace& place : tablesUnder(input, err, ok)) {
                const fs::path folder = QFile::encodeName(place.folder).toStdString();
                const fs::path below = folder.lexically_relative(input);
                found.push_back({pathOf(place), utf8(place.text),
                                 below.empty() || below == "." || *below.begin() == ".." ? fs::path() : below});
            }
            continue;
        }
        std::error_code error;
        if (!fs::is_regular_file(input, error)) {
            say(err, input + ": no such table file or folder");
            ++failures;
            continue;
        }
        const std::string name = fs::path(input).filename().string();
        found.push_back({input, utf8(datasource::TableNameOf(QByteArray::fromStdString(name))), {}});
    }

    // --table: only those names, each of which must be found.
    if (!args.tables.empty()) {
        std::vector<Found> chosen;
        for (const std::string& wanted : args.tables) {
            const QString upper = QString::fromStdString(wanted).toUpper();
            std::size_t matches = 0;
            for (const Found& table : found)
                if (QString::fromStdString(table.name).toUpper() == upper) {
                    ++matches;
                    if (std::none_of(chosen.begin(), chosen.end(), [&](const Found& f) { return f.table == table.table; }))
                        chosen.push_back(table);
                }
            if (matches == 0) {
                say(err, "no table named " + wanted);
                ++failures;
            }
        }
        found = std::move(chosen);
    }
    if (found.empty()) {
        if (failures == 0) say(err, "no tables found");
        return kNothing;
    }

    // Where they go: -o names a folder when it is one, ends in "/", or
    // several tables go and it names no workbook or database; otherwise the
    // one file they all go into.
    const std::optional<Format> named = formatNamed(args.output);
    const bool namesFolder = args.output.empty() || args.output.back() == '/' || isFolder(args.output);
    if (!namesFolder && found.size() > 1 && named == Format::Csv)
        throw UsageError("-o names one CSV file, but " + std::to_string(found.size()) +
                         " tables were found: name a folder for them, or a workbook or database instead");
    const bool toFile = !namesFolder && (found.size() == 1 || named);
    Format format = args.format;
    if (toFile && named) {
        if (format != Format::FromOutput && format != *named)
            throw UsageError("--format " + std::string(formatName(format)) + " does not fit the file name " +
                             args.output);
        format = *named;
    } else if (toFile && format == Format::FromOutput) {
        throw UsageError("-o " + args.output +
                         " names neither a .xlsx, a .csv nor a .sqlite file: give --format, or end a folder's name with /");
    }
    if (format == Format::FromOutput) format = Format::Xlsx;
    if (args.byteOrderMark && format != Format::Csv) throw UsageError("--bom is for CSV files only");
    // A database is no file to overwrite silently.
    const auto refused = [&](const fs::path& file) {
        std::error_code error;
        if (format != Format::Sqlite || args.replace || !fs::exists(file, error)) return false;
        say(err, file.string() + ": the file exists; give --replace to replace the database");
        return true;
    };

    // Tables their names do not tell apart are told by their files.
    const auto sameName = [&](const Found& a, const Found& b) {
        return QString::fromStdString(a.name).toUpper() == QString::fromStdString(b.name).toUpper();
    };
    const auto label = [&](const Found& table) {
        if (table.name.empty()) return table.table.string();
        const auto namesake = [&](const Found& f) { return sameName(f, table); };
        const bool alone = std::count_if(found.begin(), found.end(), namesake) == 1;
        return alone ? table.name : table.name + " (" + table.table.string() + ")";
    };

    const std::string extension = format == Format::Csv ? ".csv" : format == Format::Sqlite ? ".sqlite" : ".xlsx";
    const fs::path folder = toFile ? fs::path() : fs::path(args.output.empty() ? "." : args.output);
    ProgressMeter progress(err, args.progress == Progress::Always ||
                                    (args.progress == Progress::WhenTerminal && ::isatty(::fileno(err))));
    const EndOnSignals endOnSignals;
    // Several tables into one file: one writer takes them one after the other.
    std::unique_ptr<workbook::TableWriter> shared;
    if (toFile && found.size() > 1) {
        if (refused(args.output)) return kNothing;
        try {
            shared = makeWriter(format, args.output, args.byteOrderMark, args.replace);
        } catch (const std::exception& e) {
            say(err, e.what());
            return kNothing;
        }
    }
    std::unique_ptr<workbook::BlobFolder> blobs;
    if (!args.blobs.empty()) {
        try {
            blobs = std::make_unique<workbook::BlobFolder>(args.blobs);
        } catch (const std::exception& e) {
            say(err, e.what());
            return kNothing;
        }
    }
    std::set<fs::path> taken;
    int written = 0;
    bool lost = false;
    for (const Found& table : found) {
        TableJob job;
        job.table = table.table;
        job.name = label(table);
        job.tableName = table.name;
        job.format = format;
        job.byteOrderMark = args.byteOrderMark;
        job.replace = args.replace;
        job.into = shared.get();
        job.fields = args.fields;
        job.codePage = args.codePage;
        job.blobs = blobs.get();
        job.blobsName = table.name;
        if (toFile) {
            job.output = args.output;
        } else if (table.name.empty()) {
            say(err, table.table.string() + ": the table has no name to name a file after; export it alone with -o FILE");
            ++failures;
            continue;
        } else {
            // Named after the table, below the folder as it lay below the one named;
            // a second table of the same name gets "-2", and so on.
            const fs::path base = folder / table.subfolder / table.name;
            job.output = fs::path(base.string() + extension);
            for (int n = 2; taken.count(job.output.lexically_normal()); ++n)
                job.output = fs::path(base.string() + "-" + std::to_string(n) + extension);
        }
        if (!shared && refused(job.output)) {
            ++failures;
            continue;
        }
        // The folders it goes in are made as needed; a failure shows when the file is made.
        std::error_code error;
        if (job.output.has_parent_path()) fs::create_directories(job.output.parent_path(), error);
        taken.insert(job.output.lexically_normal());

        const TableOutcome outcome = exportTable(job, progress);
        if (outcome.error) {
            say(err, *outcome.error);
            ++failures;
            if (shared && outcome.outputFailed) return kNothing;
            continue;
        }
        ++written;
        lost = lost || outcome.report.lost();
        if (outcome.codePage.followedText)
            say(err, job.name + ": its text is read as code page " + std::to_string(outcome.codePage.used) +
                         ", the page it shows");
        const std::string line = job.name + ": " + exporting::groupedNumber(outcome.rows) +
                                 (outcome.rows == 1 ? " row" : " rows") + " -> " + job.output.string();
        if (!outcome.report.whole())
            std::fprintf(err, "%s\n%s\n", line.c_str(), outcome.report.summary("\n").c_str());
        else if (args.progress != Progress::Never)
            std::fprintf(err, "%s\n", line.c_str());
    }
    if (shared && written > 0) {
        try {
            shared->finish();
        } catch (const std::exception& e) {
            say(err, e.what());
            return kNothing;
        }
    }
    if (written == 0) return kNothing;
    return failures > 0 || lost ? kLosses : kWhole;
}

}  // namespace

int runCommandLine(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    try {
        const Arguments parsed = parseArguments(args);
        switch (parsed.command) {
        case Command::Help:
            std::fputs(usage().c_str(), out);
            return kWhole;
        case Command::Version:
            std::fputs("vellomar " VELLOMAR_VERSION "\n", out);
            return kWhole;
        case Command::List:
            return list(parsed, out, err);
        case Command::Export:
            return exportTables(parsed, err);
        case Command::Wizard:
            break;
        }
        throw UsageError("no command");
    } catch (const UsageError& e) {
        std::fprintf(err, "vellomar: %s\n\n%s", e.what(), usage().c_str());
        return kNothing;
    }
}

}  // namespace cli
