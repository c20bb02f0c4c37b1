#pragma once
// How a value becomes a number or a text in a cell, for both formats:
// date serials, ISO 8601 texts, shortest round-trip numbers, exact decimals
// and bytes in hex.

#include "driver/Value.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace workbook {

// Room any of the append functions below needs at most.
inline constexpr std::size_t kMaxNumberText = 48;

// Doubles hold every integer of at most 53 bits exactly.
inline constexpr std::int64_t kExactIntegerLimit = std::int64_t{1} << 53;
inline constexpr std::int64_t kMillisecondsPerDay = 86'400'000;

// The day's serial number in the 1900 date system, or -1 when a sheet cannot
// hold the date (before 1900-01-01, after 9999-12-31, or no such day).
// Excel counts a 29 February 1900 that never was, so days before March 1900
// are one lower than their distance from 1899-12-30.
std::int64_t dateSerial(const driver::Date& date);
// Days before 1900-03-01 mean different days to Excel (which counts
// 1900-02-29) and to LibreOffice (which does not).
bool beforeMarch1900(const driver::Date& date);
bool isTimeOfDay(const driver::Time& time);
// The serial of `milliseconds` after the start of day `day`: the smallest
// double not below the exact value. A reader that cuts the seconds (as
// LibreOffice does) still shows the stored second, and the serial is less
// than a microsecond above the exact value, so it reads back to the same
// millisecond.
double dayTimeSerial(std::int64_t day, std::int64_t milliseconds);

// "2021-08-31"; a year before 1 astronomically ("0000-01-01", "-0001-12-31").
char* appendIsoDate(char* out, const driver::Date& date);
// "13:45:30", with ".250" only when there are milliseconds; a time outside
// the day as its hours ("25:00:00", "-01:00:00").
char* appendIsoTime(char* out, const driver::Time& time);
// The date, `separator` (' ' or 'T'), then the time, as above.
char* appendIsoTimestamp(char* out, const driver::Timestamp& timestamp, char separator);
// Shortest text that reads back as the same double ("0.30000000000000004",
// "1e+308"); negative zero as "0". Finite numbers only.
char* appendShortest(char* out, double number);
char* appendInteger(char* out, std::int64_t number);
// "NaN", "Infinity", "-Infinity".
std::string_view nonFiniteText(double number);
// Each byte as two lowercase hex digits ("00ff1a"); 2 × size bytes of room.
char* appendHex(char* out, const std::uint8_t* data, std::size_t size);

// A decimal text as the table holds it ("-12.50") as a number: exact when
// the shortest text of `value` is the decimal itself, so no digit is lost.
struct DecimalNumber {
    bool exact = false;
    double value = 0;
    std::size_t decimals = 0;  // fraction digits the text shows
};
DecimalNumber decimalNumber(std::string_view text);

}  // namespace workbook
