#pragma once
// The spreadsheet the import writes into, shaped like the automation objects
// the export code drives: create a new application or get the running one,
// `Workbooks.add`, `ActiveSheet`, `Cells(row, column) = value`, `Visible`.
//
// The real one (XlsxSpreadsheets) writes an .xlsx workbook with the workbook
// library's streaming writer and, when made visible, opens it in the user's spreadsheet application
// (LibreOffice, or whatever the desktop opens .xlsx files with) as a new,
// unsaved document.

#include "driver/Value.h"
#include "driver/Table.h"
#include "platform/SpreadsheetEnvironment.h"
#include "workbook/TableWriter.h"
#include "workbook/XlsxWriter.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace platform {

// The worksheet the cells go to. Rows and columns are 1-based, as the
// automation interface counts them. The cells stream out as they come, so
// rows arrive in ascending order and the cells of a row in ascending
// columns (the header row, row 1, in any order). Every call either writes
// the cell or throws std::runtime_error naming the cell.
class Worksheet {
public:
    virtual ~Worksheet() = default;
    // The fields of the columns, column 1 first, before the first data row:
    // they give each column the width its values and name need.
    virtual void setColumns(const std::vector<driver::Field>& fields) = 0;
    // Cells(row, column) = value. The value keeps its type in the sheet; Null
    // leaves the cell empty.
    virtual void setCell(std::int64_t row, int column, const driver::Value& value) = 0;
    // Cells(row, column) = text, e.g. a header.
    virtual void setCell(std::int64_t row, int column, const QString& text) = 0;
};

// One spreadsheet application instance ("Excel.Application").
class SpreadsheetApplication {
public:
    virtual ~SpreadsheetApplication() = default;
    // Workbooks.add: a new workbook that becomes the active one. One per instance.
    virtual void addWorkbook() = 0;
    // ActiveSheet: the first worksheet of the workbook added last. Throws when
    // no workbook has been added. The reference lives as long as this object.
    virtual Worksheet& ActiveSheet() = 0;
    // Visible = true: finishes the workbook (an empty one if none was added)
    // and shows it to the user. Showing twice does nothing; an application
    // cannot be hidden again, so false does nothing. Cells can no longer be
    // written once the workbook is shown. Throws when it cannot be shown.
    virtual void setVisible(bool visible) = 0;
    // The default property: the application's name. Reads "Microsoft Excel",
    // the text the program checks for.
    virtual QString name() const = 0;
    // What the workbook's format changed so far: texts cut to fit a cell, and
    // the worksheets the rows went to. Empty before a workbook is added.
    virtual workbook::Report report() const = 0;
};

// No workbook can be written because of the temporary folder (missing, not a
// folder, not writable). what() names the folder and the cause.
class TemporaryFolderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The automation class "Excel.Application".
class Spreadsheets {
public:
    virtual ~Spreadsheets() = default;
    // A new, invisible instance. Throws TemporaryFolderError when no workbook
    // can be written there, std::runtime_error describing what is missing
    // when nothing can show one.
    virtual std::unique_ptr<SpreadsheetApplication> createNew() = 0;
    // The instance already running for this user. Throws when none runs.
    virtual std::unique_ptr<SpreadsheetApplication> getRunning() = 0;
};

// Name that the application objects answer with.
inline constexpr const char* kSpreadsheetApplicationName = "Microsoft Excel";

// Rows a worksheet holds (Excel's limit).
inline constexpr std::int64_t kSheetRows = workbook::kSheetRows;

// .xlsx workbooks in private temporary folders, shown with the environment's
// spreadsheet application. sheetRows is the number of rows per worksheet
// (header included) before the rows go on in the next worksheet; tests lower it.
class XlsxSpreadsheets : public Spreadsheets {
public:
    explicit XlsxSpreadsheets(SpreadsheetEnvironment environment = SpreadsheetEnvironment::system(),
                              std::int64_t sheetRows = kSheetRows);
    std::unique_ptr<SpreadsheetApplication> createNew() override;
    std::unique_ptr<SpreadsheetApplication> getRunning() override;

private:
    SpreadsheetEnvironment environment_;
    std::int64_t sheetRows_;
};

}  // namespace platform
