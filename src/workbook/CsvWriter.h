#pragma once
// A table as CSV (RFC 4180): UTF-8, without a byte order mark unless asked
// for one (spreadsheets that guess a file's code page read it as UTF-8), one record
// per row ending in CR LF, the header first. A field is quoted (and its
// quotes doubled) only when it holds a comma, a quote, a carriage return or
// a line feed: every field, whether its text comes from the table or is
// made here ("(unreadable: ...)", a file's path). Every record has as many
// fields as the table has columns (setColumns, or the header's last cell); a
// skipped row is a record of empty fields. No row limit, and no text or
// value is cut: every value arrives whole.
//
// Values:
//   Null and empty text -> empty field; bool -> TRUE, FALSE;
//   integer -> its digits; double, Money -> the shortest text that reads
//     back as the same double ("0.30000000000000004", "1e+308", negative
//     zero as "0"); NaN and infinities -> "NaN", "Infinity", "-Infinity";
//   Decimal -> its text as the table holds it ("-12.50");
//   Date -> "2021-08-31"; Time -> "13:45:30", "13:45:30.250";
//   Timestamp -> "2021-08-31T13:45:30" (ISO 8601), ".250" when it has
//     milliseconds; years before 1 astronomically ("-0001-12-31");
//   text -> as it is, malformed UTF-8 as U+FFFD;
//   Bytes (graphic, binary, OLE, bytes, a formatted memo whose text cannot
//     be found) -> "0x" and each byte as two lowercase hex digits, all of
//     them ("0x424d36...");
//   setFileCell -> the file's path; ValueError -> "(unreadable: <message>)".

#include "workbook/TableWriter.h"

#include <memory>

namespace workbook {

class OutputFile;

class CsvWriter final : public TableWriter {
public:
    // Throws std::runtime_error naming the file when it cannot be made.
    explicit CsvWriter(std::filesystem::path path, bool byteOrderMark = false);
    ~CsvWriter() override;
    CsvWriter(const CsvWriter&) = delete;
    CsvWriter& operator=(const CsvWriter&) = delete;

    void setColumns(const std::vector<driver::Field>& fields) override;
    void setCell(std::int64_t row, int column, const driver::Value& value) override;
    void setText(std::int64_t row, int column, std::string_view text) override;
    void setFileCell(std::int64_t row, int column, const driver::Value& value, std::string_view file) override;
    void finish() override;
    bool finished() const override { return finished_; }
    const Report& report() const override { return report_; }
    const std::filesystem::path& path() const override { return path_; }

private:
    void locate(std::int64_t row, int column);
    void writeHeader();
    void endRecord();
    void flush(bool always);
    void fail();

    std::filesystem::path path_;
    std::unique_ptr<OutputFile> file_;
    Report report_;
    bool finished_ = false;
    bool failed_ = false;
    int columns_ = 0;
    std::vector<std::string> header_;  // row 1, by column
    bool headerWritten_ = false;
    std::int64_t row_ = 1;             // the data row being written
    int column_ = 0;                   // its last field written
    bool recordOpen_ = false;
    std::string buffer_;
};

}  // namespace workbook
