#include "cli/Arguments.h"

#include "driver/ConnectionString.h"
#include "driver/Table.h"
#include "driver/TextDecoder.h"

#include <algorithm>
#include <charconv>

namespace cli {
namespace {

std::string withoutOuterBlanks(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "A, B ,C" -> A, B, C: blanks around a name are no part of it. A field named
// twice (letter case ignored, as fields are matched) is an error.
std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::size_t length = comma == std::string::npos ? std::string::npos : comma - start;
        items.push_back(withoutOuterBlanks(text.substr(start, length)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    for (auto item = items.begin(); item != items.end(); ++item) {
        if (item->empty()) throw UsageError("--fields needs names separated by commas, without empty ones");
        const auto same = [&](const std::string& earlier) { return driver::equalsIgnoringCase(earlier, *item); };
        if (std::any_of(items.begin(), item, same))
            throw UsageError("--fields names the field \"" + *item + "\" twice");
    }
    return items;
}

int codePageOf(const std::string& text) {
    if (text == "auto") return driver::OpenOptions::kFollowText;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value <= 0 || value > 65535)
        throw UsageError("--code-page needs a code page number such as 1252 or 437, or auto, not \"" + text + "\"");
    if (!driver::TextDecoder::isKnown(value))
        throw UsageError("--code-page " + text + " is not a code page Vellomar knows; it knows " +
                         driver::TextDecoder::knownCodePageList() + ", and auto (the page each table's text shows)");
    return value;
}

}  // namespace

Arguments parseArguments(const std::vector<std::string>& args) {
    Arguments parsed;
    if (args.empty()) return parsed;
    const std::string& first = args[0];
    if (first == "--help" || first == "-h" || first == "help") {
        if (args.size() > 1) throw UsageError("--help takes no arguments");
        parsed.command = Command::Help;
        return parsed;
    }
    if (first == "--version") {
        if (args.size() > 1) throw UsageError("--version takes no arguments");
        parsed.command = Command::Version;
        return parsed;
    }
    if (first == "list")
        parsed.command = Command::List;
    else if (first == "export")
        parsed.command = Command::Export;
    else if (!first.empty() && first[0] == '-')
        throw UsageError("unknown option " + first);
    else
        throw UsageError("unknown command \"" + first + "\"");

    const bool exporting = parsed.command == Command::Export;
    bool optionsEnded = false, formatGiven = false, progressGiven = false, fieldsGiven = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            parsed.inputs.push_back(arg);
            continue;
        }
        // "--name=value" and "--name value" both work for options with a value.
        std::string name = arg, value;
        bool inlineValue = false;
        if (const std::size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            inlineValue = true;
        }
        const auto takeValue = [&]() -> std::string {
            if (inlineValue) return value;
            if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
            return args[++i];
        };
        const auto exportOnly = [&] {
            if (!exporting) throw UsageError(name + " is an option of export, not of list");
        };
        if (!inlineValue && name == "--") {
            optionsEnded = true;
        } else if (name == "--json" && !inlineValue) {
            if (exporting) throw UsageError("--json is an option of list, not of export");
            parsed.json = true;
        } else if (name == "--table") {
            exportOnly();
            parsed.tables.push_back(takeValue());
            if (parsed.tables.back().empty()) throw UsageError("--table needs a table name");
        } else if (name == "--fields") {
            exportOnly();
            if (fieldsGiven) throw UsageError("--fields is given twice");
            fieldsGiven = true;
            parsed.fields = splitList(takeValue());
        } else if (name == "-o" || name == "--output") {
            exportOnly();
            if (!parsed.output.empty()) throw UsageError(name + " is given twice");
            parsed.output = takeValue();
            if (parsed.output.empty()) throw UsageError(name + " needs a file or folder name");
        } else if (name == "--format") {
            exportOnly();
            if (formatGiven) throw UsageError("--format is given twice");
            formatGiven = true;
            const std::string format = takeValue();
            if (driver::equalsIgnoringCase(format, "xlsx"))
                parsed.format = Format::Xlsx;
            else if (driver::equalsIgnoringCase(format, "csv"))
                parsed.format = Format::Csv;
            else if (driver::equalsIgnoringCase(format, "sqlite"))
                parsed.format = Format::Sqlite;
            else
                throw UsageError("--format is xlsx, csv or sqlite, not \"" + format + "\"");
        } else if (name == "--bom" && !inlineValue) {
            exportOnly();
            parsed.byteOrderMark = true;
        } else if (name == "--replace" && !inlineValue) {
            exportOnly();
            parsed.replace = true;
        } else if (name == "--blobs") {
            exportOnly();
            if (!parsed.blobs.empty()) throw UsageError("--blobs is given twice");
            parsed.blobs = takeValue();
            if (parsed.blobs.empty()) throw UsageError("--blobs needs a folder name");
        } else if (name == "--code-page") {
            exportOnly();
            parsed.codePage = codePageOf(takeValue());
        } else if ((name == "--quiet" || name == "-q" || name == "--progress") && !inlineValue) {
            exportOnly();
            const Progress wanted = name == "--progress" ? Progress::Always : Progress::Never;
            if (progressGiven && parsed.progress != wanted) throw UsageError("--quiet and --progress exclude each other");
            progressGiven = true;
            parsed.progress = wanted;
        } else {
            throw UsageError("unknown option " + arg);
        }
    }

    if (parsed.command == Command::List && parsed.inputs.size() != 1)
        throw UsageError(parsed.inputs.empty() ? "list needs a folder" : "list takes one folder");
    if (exporting && parsed.inputs.empty()) throw UsageError("export needs a folder or a table file");
    return parsed;
}

std::string usage() {
    return "Usage:\n"
           "  vellomar                                  start the wizard\n"
           "  vellomar list [--json] FOLDER             the tables the wizard would list:\n"
           "                                            name, folder, rows, fields\n"
           "  vellomar export [OPTIONS] FOLDER|TABLE.db...\n"
           "                                            each into a file of its own, or all\n"
           "                                            into one workbook or database\n"
           "  vellomar --help | --version\n"
           "\n"
           "Export options:\n"
           "  --table NAME        only the tables of this name, as list shows it (repeatable)\n"
           "  --fields A,B,...    only these fields, in this order\n"
           "  -o, --output PATH   the file for the one table, or the folder for the files,\n"
           "                      named after their tables (default: here); PATH is a\n"
           "                      folder when it is one, ends in /, or several tables go\n"
           "                      and it names no .xlsx or .sqlite file: then that one\n"
           "                      file takes them all (a worksheet, or an SQL table, each)\n"
           "  --format xlsx|csv|sqlite\n"
           "                      the kind of file (default: from the file's name, else xlsx)\n"
           "  --replace           replace an existing database (.sqlite) file\n"
           "  --bom               begin a CSV file with a UTF-8 byte order mark: for Excel,\n"
           "                      which misreads accents without one (see the manual)\n"
           "  --code-page N       decode text from code page N, whatever the tables say;\n"
           "                      auto: from the page each table's text shows\n"
           "  --blobs DIR         also write every picture, binary, OLE and bytes value as\n"
           "                      a file: DIR/TABLE/rowN-FIELD.bmp (.png .jpg .gif .bin);\n"
           "                      its cell then holds the file's path (a link in xlsx)\n"
           "  --quiet             no progress and no word about tables that arrive whole\n"
           "  --progress          show progress even when standard error is not a terminal\n"
           "\n"
           "What each kind of file keeps:\n"
           "  xlsx    values with their types as cells, pictures shown at their cells;\n"
           "          cuts texts past 32,767 characters and binary data past 16,382\n"
           "          bytes (shown as hex); rows past 1,048,576 go on in further sheets\n"
           "  csv     every value whole, as text: types are not kept, blobs are hex\n"
           "  sqlite  every value whole with its type, NULL as NULL, blobs as bytes,\n"
           "          a keyed table's key as its PRIMARY KEY; dates and times as ISO\n"
           "          text (SQLite's date functions read them)\n"
           "None keeps indexes beyond the key, validity checks, links between tables\n"
           "or passwords.\n"
           "\n"
           "What did not arrive as it is in the table is told on standard error.\n"
           "Exit status: 0 every table written whole, 1 written with losses (damaged\n"
           "rows, unreadable values, cut texts, tables that could not be read),\n"
           "2 bad arguments or nothing written.\n";
}

}  // namespace cli
