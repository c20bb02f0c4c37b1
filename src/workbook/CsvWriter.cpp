#include "workbook/CsvWriter.h"

#include "workbook/CellText.h"
#include "workbook/CellValues.h"
#include "workbook/OutputFile.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <type_traits>

namespace workbook {
namespace {

constexpr std::size_t kFlushSize = std::size_t{1} << 20;

}  // namespace

CsvWriter::CsvWriter(std::filesystem::path path, bool byteOrderMark)
    : path_(std::move(path)), file_(std::make_unique<OutputFile>(path_, "the file")) {
    buffer_.reserve(kFlushSize + 4096);
    if (byteOrderMark) buffer_ = "\xEF\xBB\xBF";
}

CsvWriter::~CsvWriter() {
    if (!finished_) fail();
}

void CsvWriter::fail() {
    failed_ = true;
    if (file_) file_->discard();
}

void CsvWriter::setColumns(const std::vector<driver::Field>& fields) {
    if (finished_ || failed_ || row_ > 1)
        throw std::runtime_error("The columns of " + path_.string() + " can only be set before its first data row.");
    columns_ = static_cast<int>(fields.size());
}

void CsvWriter::locate(std::int64_t row, int column) {
    const auto where = [&] { return "row " + std::to_string(row) + ", column " + std::to_string(column); };
    if (finished_)
        throw std::runtime_error("The file " + path_.string() + " is finished; " + where() + " can no longer be written.");
    if (failed_)
        throw std::runtime_error("The file " + path_.string() + " could not be written; " + where() + " is not written.");
    if (row < 1 || column < 1) throw std::runtime_error("There is no cell at " + where() + ": rows and columns start at 1.");
    if (row == 1) {
        if (headerWritten_) throw std::runtime_error("Could not write the cell at " + where() + ": data rows have begun.");
        return;
    }
    if (row < row_ || (row == row_ && column <= column_))
        throw std::runtime_error("Could not write the cell at " + where() +
                                 ": rows, and the cells of a row, are written in ascending order, and row " +
                                 std::to_string(row_) + ", column " + std::to_string(column_) + " is already written.");
    const int columns = std::max(columns_, static_cast<int>(header_.size()));
    if (column > columns)
        throw std::runtime_error("Could not write the cell at " + where() + ": the table has " +
                                 std::to_string(columns) + " columns.");
    try {
        if (!headerWritten_) writeHeader();
        if (row != row_) {
            if (recordOpen_) endRecord();
            // Skipped rows are records of empty fields.
            for (std::int64_t skipped = std::max<std::int64_t>(row_ + 1, 2); skipped < row; ++skipped) {
                buffer_.append(static_cast<std::size_t>(columns_ - 1), ',');
                buffer_ += "\r\n";
                flush(false);
            }
            row_ = row;
            column_ = 0;
            recordOpen_ = true;
        }
        buffer_.append(static_cast<std::size_t>(column - 1 - std::max(column_ - 1, 0)), ',');
        column_ = column;
    } catch (...) {
        fail();
        throw;
    }
}

void CsvWriter::writeHeader() {
    columns_ = std::max({columns_, static_cast<int>(header_.size()), 1});
    for (int c = 1; c <= columns_; ++c) {
        if (c > 1) buffer_ += ',';
        if (c <= static_cast<int>(header_.size())) buffer_ += header_[static_cast<std::size_t>(c) - 1];
    }
    buffer_ += "\r\n";
    headerWritten_ = true;
}

void CsvWriter::endRecord() {
    buffer_.append(static_cast<std::size_t>(columns_ - 1 - std::max(column_ - 1, 0)), ',');
    buffer_ += "\r\n";
    recordOpen_ = false;
    flush(false);
}

void CsvWriter::flush(bool always) {
    if (buffer_.empty() || (!always && buffer_.size() < kFlushSize)) return;
    if (!file_->write(buffer_.data(), buffer_.size())) file_->check();
    buffer_.clear();
}

void CsvWriter::setText(std::int64_t row, int column, std::string_view text) {
    setCell(row, column, driver::Value(std::string(text)));
}

void CsvWriter::setCell(std::int64_t row, int column, const driver::Value& value) {
    std::string field;
    std::string& out = row == 1 ? field : buffer_;
    locate(row, column);
    char text[2 * kMaxNumberText];
    const auto number = [&](char* end) { out.append(text, static_cast<std::size_t>(end - text)); };
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, driver::Null>) {
            } else if constexpr (std::is_same_v<T, bool>) {
                out += v ? "TRUE" : "FALSE";
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                number(appendInteger(text, v));
            } else if constexpr (std::is_same_v<T, double> || std::is_same_v<T, driver::Money>) {
                double d;
                if constexpr (std::is_same_v<T, double>) d = v;
                else d = v.value;
                if (std::isfinite(d)) number(appendShortest(text, d));
                else out += nonFiniteText(d);
            } else if constexpr (std::is_same_v<T, driver::Decimal>) {
                appendCsvField(out, v.text);
            } else if constexpr (std::is_same_v<T, driver::Date>) {
                number(appendIsoDate(text, v));
            } else if constexpr (std::is_same_v<T, driver::Time>) {
                number(appendIsoTime(text, v));
            } else if constexpr (std::is_same_v<T, driver::Timestamp>) {
                number(appendIsoTimestamp(text, v, 'T'));
            } else if constexpr (std::is_same_v<T, std::string>) {
                appendCsvField(out, v);
            } else if constexpr (std::is_same_v<T, driver::Bytes>) {
                const std::size_t used = out.size();
                out.resize(used + 2 + 2 * v.data.size());
                out[used] = '0';
                out[used + 1] = 'x';
                appendHex(out.data() + used + 2, v.data.data(), v.data.size());
            } else if constexpr (std::is_same_v<T, driver::ValueError>) {
                appendCsvField(out, "(unreadable: " + v.message + ")");
            } else {
                static_assert(!sizeof(T), "every kind of value needs a field");
            }
        },
        value);
    if (row == 1) {
        if (header_.size() < static_cast<std::size_t>(column)) header_.resize(static_cast<std::size_t>(column));
        header_[static_cast<std::size_t>(column) - 1] = std::move(field);
    }
}

void CsvWriter::setFileCell(std::int64_t row, int column, const driver::Value& value, std::string_view file) {
    if (!std::holds_alternative<driver::Bytes>(value) || file.empty() || row == 1) return setCell(row, column, value);
    locate(row, column);
    appendCsvField(buffer_, file);
}

void CsvWriter::finish() {
    if (finished_) return;
    if (failed_) throw std::runtime_error("The file " + path_.string() + " could not be written.");
    try {
        if (!headerWritten_) writeHeader();
        if (recordOpen_) endRecord();
        flush(true);
        file_->commit();
        finished_ = true;
    } catch (...) {
        fail();
        throw;
    }
}

}  // namespace workbook
