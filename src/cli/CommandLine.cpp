#include "cli/CommandLine.h"

#include "cli/Arguments.h"
#include "cli/ConsolePlatform.h"
#include "cli/ProgressMeter.h"
#include "cli/TableExport.h"
#include "datasource/Paradox.h"
#include "driver/Table.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <system_error>

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

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
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

int list(const Arguments& args, std::FILE* out, std::FILE* err) {
    bool ok = false;
    const std::vector<datasource::TablePlace> places = tablesUnder(args.inputs[0], err, ok);
    if (!ok) return kNothing;
    int status = kWhole;
    if (args.json) std::fputs("[", out);
    bool first = true;
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
        if (!args.json) {
            std::fprintf(out, "%s\t%s\t%s\t%s\n", utf8(place.text).c_str(), utf8(place.folder).c_str(),
                         table ? std::to_string(table->rowCount()).c_str() : "?",
                         table ? std::to_string(table->fields().size()).c_str() : "?");
            continue;
        }
        std::string entry = std::string(first ? "\n  " : ",\n  ") + "{\"name\": " + jsonString(utf8(place.text)) +
                            ", \"folder\": " + jsonString(utf8(place.folder)) +
                            ", \"file\": " + jsonString(utf8(QFile::decodeName(place.fileName)));
        if (table) {
            entry += ", \"rows\": " + std::to_string(table->rowCount()) + ", \"fields\": [";
            for (std::size_t i = 0; i < table->fields().size(); ++i) {
                const driver::Field& field = table->fields()[i];
                entry += std::string(i ? ", " : "") + "{\"name\": " + jsonString(field.name) +
                         ", \"type\": " + jsonString(typeName(field.type)) + ", \"size\": " +
                         std::to_string(field.size) + "}";
            }
            entry += "]";
            if (!table->damage().empty()) entry += ", \"damage\": " + jsonString(table->damage());
            const driver::CodePageEvidence page = table->codePageEvidence();
            entry += ", \"codePage\": " + std::to_string(page.declared != 0 ? page.declared : page.used);
            if (page.textShows != 0) entry += ", \"textCodePage\": " + std::to_string(page.textShows);
        } else {
            entry += ", \"error\": " + jsonString(error);
        }
        std::fputs((entry + "}").c_str(), out);
        first = false;
    }
    if (args.json) std::fputs(first ? "]\n" : "\n]\n", out);
    return status;
}

bool endsWithIgnoringCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           std::equal(end.rbegin(), end.rend(), text.rbegin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

struct Found {
    fs::path table;
    std::string name;
    fs::path subfolder;  // below the folder it was found in; empty for a named file
};

int exportTables(const Arguments& args, std::FILE* err) {
    // What to write, and where.
    const bool toFile = !args.output.empty() && !isFolder(args.output) &&
                        (endsWithIgnoringCase(args.output, ".xlsx") || endsWithIgnoringCase(args.output, ".csv"));
    Format format = args.format;
    if (toFile) {
        const Format named = endsWithIgnoringCase(args.output, ".csv") ? Format::Csv : Format::Xlsx;
        if (format != Format::FromOutput && format != named)
            throw UsageError("--format " + std::string(format == Format::Csv ? "csv" : "xlsx") +
                             " does not fit the file name " + args.output);
        format = named;
    }
    if (format == Format::FromOutput) format = Format::Xlsx;

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
    if (toFile && found.size() > 1)
        throw UsageError("-o names one file, but " + std::to_string(found.size()) +
                         " tables were found: name a folder for them instead");

    const std::string extension = format == Format::Csv ? ".csv" : ".xlsx";
    const fs::path folder = toFile ? fs::path() : fs::path(args.output.empty() ? "." : args.output);
    ProgressMeter progress(err, args.progress == Progress::Always ||
                                    (args.progress == Progress::WhenTerminal && ::isatty(::fileno(err))));
    std::set<fs::path> taken;
    int written = 0;
    bool lost = false;
    for (const Found& table : found) {
        TableJob job;
        job.table = table.table;
        job.name = table.name;
        job.format = format;
        job.fields = args.fields;
        job.codePage = args.codePage;
        if (toFile) {
            job.output = args.output;
        } else {
            // Named after the table, below the folder as it lay below the one named;
            // a second table of the same name gets "-2", and so on.
            const fs::path base = folder / table.subfolder / table.name;
            job.output = fs::path(base.string() + extension);
            for (int n = 2; taken.count(job.output.lexically_normal()); ++n)
                job.output = fs::path(base.string() + "-" + std::to_string(n) + extension);
        }
        // The folders it goes in are made as needed; a failure shows when the file is made.
        std::error_code error;
        if (job.output.has_parent_path()) fs::create_directories(job.output.parent_path(), error);
        taken.insert(job.output.lexically_normal());

        const TableOutcome outcome = exportTable(job, progress);
        if (outcome.error) {
            say(err, *outcome.error);
            ++failures;
            continue;
        }
        ++written;
        lost = lost || outcome.report.lost();
        if (outcome.codePage.followedText)
            say(err, table.name + ": its text is read as code page " + std::to_string(outcome.codePage.used) +
                         ", the page it shows");
        const std::string line = table.name + ": " + exporting::groupedNumber(outcome.rows) +
                                 (outcome.rows == 1 ? " row" : " rows") + " -> " + job.output.string();
        if (!outcome.report.whole())
            std::fprintf(err, "%s\n%s\n", line.c_str(), outcome.report.summary("\n").c_str());
        else if (args.progress != Progress::Never)
            std::fprintf(err, "%s\n", line.c_str());
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
