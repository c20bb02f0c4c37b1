#include "paradoxwriter/Encode.h"

#include <bit>
#include <cmath>
#include <string>

namespace paradoxwriter::encode {
namespace {

constexpr int kBcdDigits = 32;
constexpr int kBcdSize = 17;

// Days since 1970-01-01 (Hinnant's days-from-civil, 400-year eras).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146'097 + doe - 719'468;
}

bool leapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

void u16le(std::uint8_t* out, std::uint16_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

void u32le(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void integer(std::uint8_t* out, std::int64_t value, int size) {
    const auto raw = static_cast<std::uint64_t>(value);
    for (int i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(raw >> (8 * (size - 1 - i)));
    out[0] ^= 0x80;
}

void number(std::uint8_t* out, double value) {
    std::uint64_t raw = std::bit_cast<std::uint64_t>(value);
    raw = (raw & 0x8000'0000'0000'0000ull) ? ~raw : raw | 0x8000'0000'0000'0000ull;
    for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(raw >> (8 * (7 - i)));
}

std::optional<std::int64_t> dayNumber(const driver::Date& date) {
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date.year < 1 || date.year > 9999 || date.month < 1 || date.month > 12 || date.day < 1)
        return std::nullopt;
    const int monthDays = kMonthDays[date.month - 1] + (date.month == 2 && leapYear(date.year));
    if (date.day > monthDays) return std::nullopt;
    return daysFromCivil(date.year, static_cast<unsigned>(date.month),
                         static_cast<unsigned>(date.day)) -
           daysFromCivil(1, 1, 1) + 1;
}

bool bcd(std::uint8_t* out, std::string_view text, int decimals) {
    if (decimals < 0 || decimals > kBcdDigits) return false;
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    const auto point = text.find('.');
    std::string_view whole = text.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (whole.empty() && fraction.empty()) return false;
    if (point != std::string_view::npos && fraction.empty()) return false;
    for (std::string_view part : {whole, fraction})
        for (char c : part)
            if (c < '0' || c > '9') return false;
    while (whole.size() > 1 && whole.front() == '0') whole.remove_prefix(1);
    if (whole == "0") whole = {};
    if (static_cast<int>(fraction.size()) > decimals ||
        static_cast<int>(whole.size()) > kBcdDigits - decimals)
        return false;

    // Digit i of 32 (0 = most significant); the last `decimals` are the fraction.
    int digits[kBcdDigits] = {};
    const int firstFraction = kBcdDigits - decimals;
    for (std::size_t i = 0; i < whole.size(); ++i)
        digits[firstFraction - static_cast<int>(whole.size()) + static_cast<int>(i)] = whole[i] - '0';
    for (std::size_t i = 0; i < fraction.size(); ++i)
        digits[firstFraction + static_cast<int>(i)] = fraction[i] - '0';
    bool zero = true;
    for (int d : digits) zero = zero && d == 0;
    if (zero) negative = false;

    // Byte 0: bit 7 = positive, bit 6 on every non-NULL value, bits 0..5 = decimals.
    // Negative numbers store every digit nibble complemented (format note, 5.6).
    out[0] = static_cast<std::uint8_t>((negative ? 0x00 : 0x80) | 0x40 | decimals);
    for (int i = 1; i < kBcdSize; ++i) {
        int high = digits[2 * (i - 1)], low = digits[2 * (i - 1) + 1];
        if (negative) {
            high ^= 0xF;
            low ^= 0xF;
        }
        out[i] = static_cast<std::uint8_t>((high << 4) | low);
    }
    return true;
}

std::string prefixedBlob(std::uint8_t kind, const std::vector<std::uint8_t>& data) {
    std::string out(8, '\0');
    out[0] = 1;
    out[3] = static_cast<char>(kind);
    u32le(reinterpret_cast<std::uint8_t*>(out.data()) + 4, static_cast<std::uint32_t>(data.size()));
    out.append(data.begin(), data.end());
    return out;
}

std::string formattedMemo(std::string_view text) {
    // The directory and the sections after the text, as in a corpus memo
    // typed in Paradox for Windows (fmemo.db of leonhad/paradoxdriver).
    static constexpr std::uint8_t kDirectory[] = {
        0x0A, 0x00, 0x11, 0x00, 0x00, 0x00, 0x03, 0x00, 0x08, 0x00, 0x00, 0x00, 0x02, 0x00, 0x06, 0x00,
        0x00, 0x00, 0x04, 0x00, 0x08, 0x00, 0x00, 0x00, 0x06, 0x00, 0x36, 0x00, 0x00, 0x00, 0x07, 0x00,
        0x16, 0x00, 0x00, 0x00,
    };
    static constexpr std::uint8_t kSections[] = {
        0x02, 0x00, 0x01, 0x00, 0xD8, 0x04, 0x1A, 0x00, 0x00, 0x02, 0x00, 0x02, 0x00, 0x01, 0x00, 0x01,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x80, 0x00,
        0x00, 0x00, 0x00, 0x01, 0x80, 0x00, 0x00, 0x01, 0x00, 0xC8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x90,
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x22, 0x00, 0x04, 0x41,
        0x72, 0x69, 0x61, 0x6C, 0x00, 0x77, 0x44, 0x00, 0x5E, 0xC4, 0x29, 0x9E, 0x00, 0x86, 0x00, 0x00,
        0x00, 0x08, 0x00, 0x00, 0x00, 0x80, 0x44, 0x00, 0x5E, 0x7C, 0x41, 0x00, 0x5E, 0xEB, 0x05, 0x01,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD8, 0x00, 0x00,
        0x00, 0xD0, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    };
    std::string out(8, '\0');
    auto* head = reinterpret_cast<std::uint8_t*>(out.data());
    u32le(head, 7);  // sections, the text included
    u32le(head + 4, static_cast<std::uint32_t>(text.size() + 1));
    out.append(std::begin(kDirectory), std::end(kDirectory));
    out.append(text);
    out += '\0';
    out.append(std::begin(kSections), std::end(kSections));
    return out;
}

}  // namespace paradoxwriter::encode
