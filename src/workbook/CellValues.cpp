#include "workbook/CellValues.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace workbook {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Hinnant's days_from_civil).
constexpr std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<std::int64_t>(year - era * 400);
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

constexpr bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

constexpr int daysInMonth(int year, int month) {
    constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

constexpr std::int64_t kSerialEpoch = daysFromCivil(1899, 12, 30);
constexpr std::int64_t kFirstMarch1900 = daysFromCivil(1900, 3, 1);

constexpr std::int64_t serialOf(const driver::Date& date) {
    if (date.year < 1900 || date.year > 9999 || date.month < 1 || date.month > 12 || date.day < 1 ||
        date.day > daysInMonth(date.year, date.month))
        return -1;
    const std::int64_t days = daysFromCivil(date.year, date.month, date.day);
    return days - kSerialEpoch - (days < kFirstMarch1900 ? 1 : 0);
}

static_assert(serialOf({1900, 1, 1}) == 1);
static_assert(serialOf({1900, 2, 28}) == 59);
static_assert(serialOf({1900, 3, 1}) == 61);
static_assert(serialOf({1899, 12, 31}) == -1);
static_assert(serialOf({9999, 12, 31}) == 2'958'465);

// Two digits of 0..99.
char* twoDigits(char* out, unsigned value) {
    out[0] = static_cast<char>('0' + value / 10);
    out[1] = static_cast<char>('0' + value % 10);
    return out + 2;
}

// At least `width` digits, zero-padded.
char* padded(char* out, unsigned long long value, int width) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    for (auto length = end - digits; length < width; ++length) *out++ = '0';
    std::memcpy(out, digits, static_cast<std::size_t>(end - digits));
    return out + (end - digits);
}

char* append(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// The parts of a decimal text "-012.340": sign, integer digits without
// leading zeros, fraction digits without trailing zeros, and how many
// fraction digits the text showed.
struct DecimalParts {
    bool negative = false;
    std::string_view integer, fraction;
    std::size_t decimals = 0;
};

bool splitDecimal(std::string_view text, DecimalParts& parts) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') parts.negative = true, ++i;
    const std::size_t integerStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    const std::size_t integerEnd = i;
    std::size_t fractionStart = i, fractionEnd = i;
    if (i < text.size() && text[i] == '.') {
        fractionStart = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        fractionEnd = i;
    }
    if (i != text.size() || (integerEnd == integerStart && fractionEnd == fractionStart)) return false;
    parts.decimals = fractionEnd - fractionStart;
    std::size_t first = integerStart;
    while (first < integerEnd && text[first] == '0') ++first;
    parts.integer = text.substr(first, integerEnd - first);
    while (fractionEnd > fractionStart && text[fractionEnd - 1] == '0') --fractionEnd;
    parts.fraction = text.substr(fractionStart, fractionEnd - fractionStart);
    return true;
}

// True when the shortest fixed-point text that reads back as number is the
// decimal itself.
bool printsAs(double number, const DecimalParts& parts) {
    char buffer[400];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::fixed);
    if (error != std::errc{}) return false;
    std::string_view shortest(buffer, static_cast<std::size_t>(end - buffer));
    if (number == 0) return parts.integer.empty() && parts.fraction.empty();
    if (parts.negative != (shortest.front() == '-')) return false;
    if (parts.negative) shortest.remove_prefix(1);
    const std::size_t dot = shortest.find('.');
    std::string_view integer = shortest.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view{} : shortest.substr(dot + 1);
    if (integer == "0") integer = {};
    return integer == parts.integer && fraction == parts.fraction;
}

}  // namespace

std::int64_t dateSerial(const driver::Date& date) { return serialOf(date); }

bool beforeMarch1900(const driver::Date& date) {
    return date.year < 1900 || (date.year == 1900 && date.month < 3);
}

bool isTimeOfDay(const driver::Time& time) {
    return time.milliseconds >= 0 && time.milliseconds < kMillisecondsPerDay;
}

double dayTimeSerial(std::int64_t day, std::int64_t milliseconds) {
    // Both exact as doubles: every serial a sheet holds is below 2^53 ms.
    const auto exact = static_cast<double>(day * kMillisecondsPerDay + milliseconds);
    double serial = exact / static_cast<double>(kMillisecondsPerDay);
    // fma gives serial * ms-per-day - exact with one rounding, so its sign is
    // the sign of the true difference.
    if (std::fma(serial, static_cast<double>(kMillisecondsPerDay), -exact) < 0)
        serial = std::nextafter(serial, HUGE_VAL);
    return serial;
}

char* appendIsoDate(char* out, const driver::Date& date) {
    long long year = date.year;
    if (year < 0) *out++ = '-', year = -year;
    out = padded(out, static_cast<unsigned long long>(year), 4);
    *out++ = '-';
    out = padded(out, static_cast<unsigned long long>(std::abs(date.month)), 2);
    *out++ = '-';
    return padded(out, static_cast<unsigned long long>(std::abs(date.day)), 2);
}

char* appendIsoTime(char* out, const driver::Time& time) {
    const std::int64_t ms = time.milliseconds;
    const unsigned long long magnitude =
        ms < 0 ? 0ULL - static_cast<unsigned long long>(ms) : static_cast<unsigned long long>(ms);
    if (ms < 0) *out++ = '-';
    out = padded(out, magnitude / 3'600'000, 2);
    *out++ = ':';
    out = twoDigits(out, static_cast<unsigned>(magnitude / 60'000 % 60));
    *out++ = ':';
    out = twoDigits(out, static_cast<unsigned>(magnitude / 1000 % 60));
    if (const auto millis = static_cast<unsigned>(magnitude % 1000); millis != 0) {
        *out++ = '.';
        *out++ = static_cast<char>('0' + millis / 100);
        out = twoDigits(out, millis % 100);
    }
    return out;
}

char* appendIsoTimestamp(char* out, const driver::Timestamp& timestamp, char separator) {
    out = appendIsoDate(out, timestamp.date);
    *out++ = separator;
    return appendIsoTime(out, timestamp.time);
}

char* appendShortest(char* out, double number) {
    if (number == 0) return append(out, "0");
    return std::to_chars(out, out + kMaxNumberText, number).ptr;
}

char* appendInteger(char* out, std::int64_t number) { return std::to_chars(out, out + kMaxNumberText, number).ptr; }

std::string_view nonFiniteText(double number) {
    if (std::isnan(number)) return "NaN";
    return number > 0 ? "Infinity" : "-Infinity";
}

char* appendHex(char* out, const std::uint8_t* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < size; ++i) {
        *out++ = kDigits[data[i] >> 4];
        *out++ = kDigits[data[i] & 15];
    }
    return out;
}

DecimalNumber decimalNumber(std::string_view text) {
    DecimalParts parts;
    DecimalNumber result;
    if (!splitDecimal(text, parts)) return result;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), result.value);
    if (error != std::errc{} || end != text.data() + text.size()) return result;
    result.exact = printsAs(result.value, parts);
    if (result.value == 0) result.value = 0;  // no negative zero
    result.decimals = parts.decimals;
    return result;
}

}  // namespace workbook
