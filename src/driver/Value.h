#pragma once
// Typed values as they come out of a Paradox table. Nothing here is formatted
// for display: the edge that needs text (a grid, a sheet) does that itself.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace driver {

enum class FieldType : std::uint8_t {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Money = 0x05,
    Number = 0x06,
    Logical = 0x09,
    Memo = 0x0C,
    Binary = 0x0D,
    FormattedMemo = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    AutoIncrement = 0x16,
    Bcd = 0x17,
    Bytes = 0x18,
};

struct Null {
    bool operator==(const Null&) const = default;
};

// Money is a double the table shows with two decimals.
struct Money {
    double value = 0;
    bool operator==(const Money&) const = default;
};

// An exact decimal: optional '-', digits, optional '.' and fraction digits,
// with the table's number of decimals kept (e.g. "-12.50", "0.000").
struct Decimal {
    std::string text;
    bool operator==(const Decimal&) const = default;
};

// Proleptic Gregorian date; year may be <= 0 for the odd value before 0001-01-01.
struct Date {
    int year = 1, month = 1, day = 1;
    bool operator==(const Date&) const = default;
};

// Time of day in milliseconds since midnight.
struct Time {
    std::int64_t milliseconds = 0;
    bool operator==(const Time&) const = default;
};

struct Timestamp {
    Date date;
    Time time;
    bool operator==(const Timestamp&) const = default;
};

// Raw bytes of a binary, graphic, OLE or bytes field, or of a formatted memo
// whose text cannot be found in it.
struct Bytes {
    FieldType type = FieldType::Bytes;
    std::vector<std::uint8_t> data;
    bool operator==(const Bytes&) const = default;
};

// A value that could not be read (a blob whose .MB is missing or damaged).
// The row is still good; only this cell failed. `message` says why in a few
// words, fit for the cell ("the blob file is missing"); `detail`, when there
// is more to say, says where: the file, its byte, the block, record and field.
struct ValueError {
    std::string message;
    std::string detail = {};
    bool operator==(const ValueError&) const = default;
};

// Text is UTF-8, decoded from the table's code page.
using Value = std::variant<Null, bool, std::int64_t, double, Money, Decimal, Date, Time,
                           Timestamp, std::string, Bytes, ValueError>;

inline bool isNull(const Value& v) { return std::holds_alternative<Null>(v); }

}  // namespace driver
