#pragma once
// What one export changed on the way from a table to a workbook, gathered as
// the export runs: the reader's damage report, table rows that could not be
// read, values that could not be read, texts cut to fit a cell, pictures
// that could not be shown, and rows carried on to further sheets. The one place that decides what counts as a
// loss: the wizard shows summary() as its closing message, the command line
// prints it and turns lost() into its exit status.
//
// Rows are numbered two ways, and each paragraph of the summary keeps to one.
// A table row is its place in the table (1 for the first row), shown as
// "table row 57" (the reader's damage report counts rows so too). A sheet row
// is the row number the writer was given: 1 is the header, 2 the first data
// row; with more rows than a sheet holds, the numbers go on past the first
// sheet and are shown as "Sheet2 row 5".
//
// No Qt: both front ends use it.

#include "driver/Table.h"
#include "workbook/TableWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace exporting {

class ExportReport {
public:
    // How many row numbers a summary names before it says "and N more".
    static constexpr std::size_t kFirstFew = 5;

    // The header texts, by column (1-based column c is columnNames[c - 1]).
    void setColumnNames(std::vector<std::string> names);
    // The reader's damage report for the table (empty for a sound table), and
    // whether the rows it gives may not be exactly the table's (some missing
    // or extra, or out of their order). A damaged table whose rows were all
    // recovered in their places is told, but is no loss.
    void noteDamage(const std::string& damage, bool rowsInDoubt);
    // Table row `tableRow` could not be read and is not in the workbook.
    void noteUnreadableRow(std::int64_t tableRow, const std::string& why);
    // The value at `sheetRow`, `column` could not be read; the cell says so.
    void noteUnreadableValue(std::int64_t sheetRow, int column, const std::string& why);
    // The same for the reader's cell: its detail (or message) is the reason.
    void noteUnreadableValue(std::int64_t sheetRow, int column, const driver::ValueError& error);
    // The fields written, in column order: those whose stored names could not
    // be read carry a replacement ("Field 7") in the header row.
    void noteFields(const std::vector<driver::Field>& fields);
    // Texts the writer cut to fit a cell: how many, in which columns
    // (1-based), and the sheet rows of the first few.
    void noteCutTexts(std::int64_t cells, const std::vector<int>& columns,
                      const std::vector<std::int64_t>& firstRows);
    // Graphics the writer could not show as pictures (no image it could
    // read): how many, where, and why the first could not.
    void noteUnshownPictures(std::int64_t cells, const std::vector<int>& columns,
                             const std::vector<std::int64_t>& firstRows, const std::string& why);
    // The workbook used `sheets` worksheets of at most `dataRowsPerSheet`
    // data rows each (each sheet starts with the header row).
    void noteSheets(int sheets, std::int64_t dataRowsPerSheet);
    // All of the above, from what the writer reports at the end, and what
    // it changed that loses nothing (its notices).
    void noteWriter(const workbook::Report& written);
    // The reader's word on the table's code page: a header naming a page the
    // reader does not know, or text that plainly is in another page than the
    // one it was decoded from, puts the text in doubt (unless the caller chose
    // the page).
    void noteCodePage(const driver::CodePageEvidence& evidence);

    // Rows, values or field names that did not arrive as they are in the
    // table, or may not have.
    bool lost() const;
    // Rows that arrived, but on further sheets.
    bool moved() const { return sheets_ > 1; }
    bool damaged() const { return !damage_.empty(); }
    // The text may be decoded from the wrong code page (see noteCodePage).
    bool codePageInDoubt() const { return unknownCodePage_ != 0 || likelyCodePage_ != 0; }
    // Every row and value arrived as it is in the table, on one sheet, from a
    // sound table, and the output changed nothing of its shape.
    bool whole() const { return !lost() && !moved() && !damaged() && notices_.empty(); }

    std::int64_t unreadableRows() const { return unreadableRows_.count; }
    std::int64_t unreadableValues() const { return unreadableValues_.count; }
    std::int64_t cutTexts() const { return cutTexts_.count; }
    std::int64_t unshownPictures() const { return unshownPictures_.count; }
    int sheets() const { return sheets_; }

    // The closing words: "Done." when whole(); otherwise what was lost,
    // changed or moved, and where, one finding per paragraph, lines joined
    // with `newline` ("\r\n" in a message box, "\n" on a terminal).
    std::string summary(const std::string& newline = "\r\n") const;

private:
    // A count, and the first few places it happened.
    struct Tally {
        std::int64_t count = 0;
        std::vector<std::int64_t> rows;  // the first kFirstFew, each once
        std::int64_t rowsAffected = 0;   // how many rows in all; -1 when not known
        std::vector<int> columns;        // ascending, each once
        std::string firstReason;
        void note(std::int64_t row, int column, const std::string& why);
    };
    // What the writer reports of some cells: how many, their columns and first rows.
    static Tally writerTally(std::int64_t cells, const std::vector<int>& columns,
                             const std::vector<std::int64_t>& firstRows);
    std::string columnList(const std::vector<int>& columns) const;
    // The reader's damage report with the table rows it names ("table rows
    // 40-200", "after table row 168") given as the sheet rows they went to.
    std::string inSheetRows(const std::string& damage) const;
    std::string sheetRowList(const Tally& tally) const;
    std::string sheetRowName(std::int64_t sheetRow) const;
    // The name of the table's sheet `index` (0-based): the writer's, else "SheetN".
    std::string sheetName(int index) const;

    std::vector<std::string> columnNames_;
    std::vector<int> renamedColumns_;  // 1-based, ascending
    std::string damage_;
    bool rowsInDoubt_ = false;
    Tally unreadableRows_;
    // Every table row that could not be read, in order (up to kRowsMapped),
    // to tell which sheet row a table row went to.
    std::vector<std::int64_t> skippedRows_;
    static constexpr std::size_t kRowsMapped = 100'000;
    Tally unreadableValues_;
    Tally cutTexts_;
    Tally unshownPictures_;
    int sheets_ = 1;
    std::vector<std::string> sheetNames_;  // as the writer named them
    std::int64_t dataRowsPerSheet_ = 0;
    int unknownCodePage_ = 0;  // the header's page, when the reader does not know it
    int usedCodePage_ = 0;
    int likelyCodePage_ = 0;   // the page the text shows, when it is not the one used
    std::vector<std::string> notices_;
    bool rowsFromData_ = false;  // rows named as a database numbers them
};

// "1,048,575": digits grouped by thousands.
std::string groupedNumber(std::int64_t number);

}  // namespace exporting
