#pragma once
// One table into one workbook (or CSV file, or database), the way the
// wizard's import does it: the same reader, the same cells
// (workbook::TableWriter), rows that cannot be read noted and skipped, and
// what did not arrive as it is in the table gathered in an ExportReport.

#include "cli/Arguments.h"
#include "cli/ProgressMeter.h"
#include "export/ExportReport.h"
#include "workbook/TableWriter.h"
#include "workbook/BlobFolder.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct TableJob {
    std::filesystem::path table;   // the .db file
    std::string name;              // as the list shows it, told apart from its namesakes
    std::string tableName;         // as the list names it: the name inside a workbook or database
    std::filesystem::path output;  // the file to write
    Format format = Format::Xlsx;  // Xlsx, Csv or Sqlite
    bool byteOrderMark = false;    // Csv: a UTF-8 byte order mark first
    bool replace = false;          // Sqlite: an existing file is replaced
    // The output several tables go into, one after the other; the table is
    // its next table, and the caller finishes it. Null: a file of its own.
    workbook::TableWriter* into = nullptr;
    std::vector<std::string> fields;  // in this order; empty = all, in the table's order
    int codePage = 0;              // 0 = what the table says; see driver::OpenOptions
    // Where every blob value also goes as a file, its cell then holding the
    // file's path, in a folder named `blobsName` (the table's own name); null
    // for none.
    workbook::BlobFolder* blobs = nullptr;
    std::string blobsName;
};

struct TableOutcome {
    // Set when nothing was written: the table could not be opened, lacks a
    // field, or the file could not be written. Names the file and the cause.
    std::optional<std::string> error;
    // Set with error when the output itself could not be written: nothing
    // more can go into it.
    bool outputFailed = false;
    std::int64_t rows = 0;  // rows written
    exporting::ExportReport report;
    driver::CodePageEvidence codePage;  // the page the text was read from, and why
};

// The writer of `format` for the file `output` (see TableJob).
std::unique_ptr<workbook::TableWriter> makeWriter(Format format, const std::filesystem::path& output,
                                                  bool byteOrderMark, bool replace);

// Exports `job`, drawing progress on `progress`. Never throws for what a
// table or the disk can do wrong: that is the outcome's error.
TableOutcome exportTable(const TableJob& job, ProgressMeter& progress);

}  // namespace cli
