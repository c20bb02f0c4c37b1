#include "platform/SpreadsheetWorkbook.h"

#include <QFile>

#include <stdexcept>
#include <string>

namespace platform {
namespace {

workbook::XlsxOptions optionsFor(std::int64_t sheetRows) {
    workbook::XlsxOptions options;
    options.sheetRows = sheetRows;
    return options;
}

}  // namespace

XlsxWorkbook::XlsxWorkbook(const QString& path, std::int64_t sheetRows)
    : writer_(std::filesystem::path(QFile::encodeName(path).toStdString()), optionsFor(sheetRows)) {}

void XlsxWorkbook::requireOpen(std::int64_t row, int column) const {
    if (writer_.finished())
        throw std::runtime_error("The workbook has been shown; row " + std::to_string(row) + ", column " +
                                 std::to_string(column) + " can no longer be written.");
}

void XlsxWorkbook::setColumns(const std::vector<driver::Field>& fields) { writer_.setColumns(fields); }

void XlsxWorkbook::setCell(std::int64_t row, int column, const driver::Value& value) {
    requireOpen(row, column);
    writer_.setCell(row, column, value);
}

void XlsxWorkbook::setCell(std::int64_t row, int column, const QString& text) {
    requireOpen(row, column);
    const QByteArray utf8 = text.toUtf8();
    writer_.setText(row, column, std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

void XlsxWorkbook::finish() { writer_.finish(); }

}  // namespace platform
