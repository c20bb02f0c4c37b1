#pragma once
// The workbook the wizard's spreadsheet writes into: an .xlsx file streamed
// by the workbook library (workbook/XlsxWriter.h documents how each value
// becomes a cell, the sheets past the last row, cut texts, column widths and
// the frozen header row). This adapter only shapes it as a Worksheet.

#include "driver/Value.h"
#include "platform/Spreadsheet.h"
#include "workbook/XlsxWriter.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace platform {

class XlsxWorkbook final : public Worksheet {
public:
    // A workbook that finish() writes to path; until then it grows under a
    // hidden name beside it. Throws std::runtime_error naming the file when
    // it cannot be started.
    explicit XlsxWorkbook(const QString& path, std::int64_t sheetRows = kSheetRows);
    // Drops an unfinished workbook and its file.
    ~XlsxWorkbook() override = default;
    XlsxWorkbook(const XlsxWorkbook&) = delete;
    XlsxWorkbook& operator=(const XlsxWorkbook&) = delete;

    void setColumns(const std::vector<driver::Field>& fields) override;
    void setCell(std::int64_t row, int column, const driver::Value& value) override;
    void setCell(std::int64_t row, int column, const QString& text) override;

    // Writes the file. Afterwards every setCell throws; finishing again does
    // nothing. Throws std::runtime_error naming the file and the cause.
    void finish();
    bool finished() const { return writer_.finished(); }

    int sheetCount() const { return writer_.sheetCount(); }
    const workbook::Report& report() const { return writer_.report(); }

private:
    void requireOpen(std::int64_t row, int column) const;

    workbook::XlsxWriter writer_;
};

}  // namespace platform
