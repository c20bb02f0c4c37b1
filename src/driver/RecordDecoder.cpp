#include "driver/RecordDecoder.h"

#include "driver/BlobFile.h"
#include "driver/BlockHead.h"
#include "driver/FormattedMemo.h"
#include "driver/TextDecoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace driver {
namespace {

// Blob descriptor at the end of a blob field: reference (long), length (long),
// modification number (word), all little-endian.
constexpr int kBlobDescriptor = 10;
// Graphic and OLE values start with 4 bytes of kind and a long with the rest's length.
constexpr std::size_t kGraphicPrefix = 8;
constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
// 0001-01-01 is day 1; 1970-01-01 is day 719163 on that scale.
constexpr std::int64_t kUnixEpochDay = 719'163;
// Timestamps further out than about ±200,000 years are damage, not dates.
constexpr double kTimestampLimit = 8.64e18;
constexpr int kBcdDigits = 32;

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool allZero(const std::uint8_t* bytes, std::size_t size) {
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        if (word != 0) return false;
    }
    for (; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Whether a blob field of `leader` leader bytes holds its value of `length`
// bytes (at most the leader) as the format writes it there: the rest of the
// leader blank, no reference into the .MB, no modification number.
[[gnu::always_inline]] inline bool heldInLeader(const std::uint8_t* bytes, int leader, std::uint32_t length) {
    return le32(bytes + leader) == 0 && bytes[leader + 8] == 0 && bytes[leader + 9] == 0 &&
           allZero(bytes + length, static_cast<std::size_t>(leader) - length);
}

// Big-endian loads of the fixed-size record encodings.
std::uint16_t be16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
std::uint32_t be32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
std::uint64_t be64(const std::uint8_t* p) {
    return (static_cast<std::uint64_t>(be32(p)) << 32) | be32(p + 4);
}

// A stored double: top bit set means positive (clear it), clear means negative
// (every bit was inverted). `raw` is not 0 (that is NULL).
double storedDouble(std::uint64_t raw) {
    raw = (raw & 0x8000'0000'0000'0000ull) ? raw & 0x7FFF'FFFF'FFFF'FFFFull : ~raw;
    return std::bit_cast<double>(raw);
}

// Days on our scale within which the 32-bit conversion below is exact (about
// years -28,000 to 30,000); anything further out takes the 64-bit one.
constexpr std::int64_t kFastDaysMin = -11'000'000;
constexpr std::int64_t kFastDaysMax = 11'000'000;

// Civil date of any day on our scale, proleptic Gregorian: 64-bit arithmetic
// in 400-year eras.
Date civilFromDays64(std::int64_t days) {
    const std::int64_t z = days - kUnixEpochDay + 719'468;
    const std::int64_t era = floorDiv(z, 146'097);
    const std::int64_t doe = z - era * 146'097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146'096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    return Date{static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

// Civil date of a day counted from 1970-01-01, in 32-bit unsigned arithmetic
// (Neri and Schneider, "Euclidean affine functions and their application to
// calendar algorithms", 2022). The day is shifted by 82 whole 400-year eras so
// that everything stays unsigned; valid for -12,699,422 <= unixDay < 1,061,042,401.
constexpr Date civilFromUnixDay(std::int32_t unixDay) {
    constexpr std::uint32_t eras = 82;
    constexpr std::uint32_t shift = 719'468 + 146'097 * eras;  // 0000-03-01 moved 82 eras back
    const std::uint32_t n = static_cast<std::uint32_t>(unixDay) + shift;
    // Century and day of the century.
    const std::uint32_t n1 = 4 * n + 3;
    const std::uint32_t century = n1 / 146'097;
    const std::uint32_t dayOfCentury = n1 % 146'097 / 4;
    // Year of the century and day of the year (the year starting on 1 March).
    const std::uint32_t n2 = 4 * dayOfCentury + 3;
    const std::uint64_t p2 = std::uint64_t{2'939'745} * n2;
    const std::uint32_t yearOfCentury = static_cast<std::uint32_t>(p2 >> 32);
    const std::uint32_t dayOfYear = static_cast<std::uint32_t>(p2) / 2'939'745 / 4;
    const std::uint32_t year = 100 * century + yearOfCentury;
    // Month (3..14) and day.
    const std::uint32_t n3 = 2141 * dayOfYear + 197'913;
    const std::uint32_t month = n3 >> 16;
    const std::uint32_t day = (n3 & 0xFFFF) / 2141 + 1;
    const bool januaryOrFebruary = dayOfYear >= 306;
    return Date{static_cast<int>(static_cast<std::int32_t>(year - 400 * eras) + (januaryOrFebruary ? 1 : 0)),
                static_cast<int>(januaryOrFebruary ? month - 12 : month), static_cast<int>(day)};
}

// From 1901-03-01 to 2097-02-28 every fourth year is a leap year (2000
// included), so the days repeat a cycle of 1461: one division and a look-up
// in a table of the cycle's dates (years from its start, month, day).
constexpr std::int64_t kCycleStart = 694'020;  // 1901-03-01
constexpr int kCycleFirstYear = 1901;
constexpr std::uint32_t kCycleDays = 1461;
constexpr std::uint32_t kCycles = 49;  // up to 2097-03-01

constexpr std::array<std::uint16_t, kCycleDays> kCycleDates = [] {
    std::array<std::uint16_t, kCycleDays> dates{};
    for (std::uint32_t r = 0; r < kCycleDays; ++r) {
        const Date d = civilFromUnixDay(static_cast<std::int32_t>(kCycleStart - kUnixEpochDay + r));
        dates[r] = static_cast<std::uint16_t>(((d.year - kCycleFirstYear) << 9) | (d.month << 5) | d.day);
    }
    return dates;
}();

// dateFromDays, inlined where it is used.
inline Date civilFromDays(std::int64_t days) {
    const auto sinceStart = static_cast<std::uint64_t>(days - kCycleStart);
    if (sinceStart < std::uint64_t{kCycleDays} * kCycles) [[likely]] {
        const auto day = static_cast<std::uint32_t>(sinceStart);
        const std::uint32_t cycle = day / kCycleDays;
        const std::uint32_t packed = kCycleDates[day - cycle * kCycleDays];
        return Date{kCycleFirstYear + static_cast<int>(4 * cycle + (packed >> 9)), static_cast<int>((packed >> 5) & 15),
                    static_cast<int>(packed & 31)};
    }
    if (days >= kFastDaysMin && days <= kFastDaysMax)
        return civilFromUnixDay(static_cast<std::int32_t>(days - kUnixEpochDay));
    return civilFromDays64(days);
}

// False for infinities, NaN and values too far out to be dates.
bool timestampInRange(double milliseconds) { return std::fabs(milliseconds) <= kTimestampLimit; }

// Milliseconds since the start of day 0 (timestampInRange) into date and time of day.
inline Timestamp splitTimestamp(double milliseconds) {
    // Round half away from zero (what llround does, without the library call).
    const std::int64_t total = static_cast<std::int64_t>(milliseconds < 0 ? milliseconds - 0.5 : milliseconds + 0.5);
    std::int64_t day = total / kMillisecondsPerDay;
    std::int64_t ofDay = total - day * kMillisecondsPerDay;
    if (ofDay < 0) {  // before day 0: round the day down, not towards zero
        --day;
        ofDay += kMillisecondsPerDay;
    }
    return Timestamp{civilFromDays(day), Time{ofDay}};
}

// Cells are overwritten in place when they already hold a T.
template <typename T>
void put(Value& out, const T& value) {
    if (T* cell = std::get_if<T>(&out)) *cell = value;
    else out.emplace<T>(value);
}

void putNull(Value& out) {
    if (!std::holds_alternative<Null>(out)) out.emplace<Null>();
}

std::string& textCell(Value& out) {
    std::string* text = std::get_if<std::string>(&out);
    if (!text) text = &out.emplace<std::string>();
    text->clear();
    return *text;
}

}  // namespace

RecordDecoder::RecordDecoder(const std::vector<RawField>& fields, const std::vector<Field>& names,
                             const TextDecoder& text, const BlobFile* blobs)
    : names_(names), text_(text), blobs_(blobs) {
    int offset = 0;
    for (const RawField& field : fields) {
        layout_.push_back({field.type, offset, field.size, field.decimals});
        offset += field.size;
    }
}

std::optional<std::int64_t> RecordDecoder::integer(const std::uint8_t* bytes, int size) {
    if (allZero(bytes, static_cast<std::size_t>(size))) return std::nullopt;
    // Big-endian two's complement with the top bit inverted.
    std::uint64_t raw = bytes[0] ^ 0x80u;
    for (int i = 1; i < size; ++i) raw = (raw << 8) | bytes[i];
    const int shift = 64 - 8 * size;
    return static_cast<std::int64_t>(raw << shift) >> shift;
}

std::optional<double> RecordDecoder::number(const std::uint8_t* bytes) {
    const std::uint64_t raw = be64(bytes);
    if (raw == 0) return std::nullopt;
    return storedDouble(raw);
}

Date RecordDecoder::dateFromDays(std::int64_t days) { return civilFromDays(days); }

Value RecordDecoder::timestamp(const std::uint8_t* bytes) {
    const auto value = number(bytes);
    if (!value) return Null{};
    if (!timestampInRange(*value))
        return ValueError{"timestamp value " + std::to_string(*value) + " is out of range"};
    return splitTimestamp(*value);
}

Value RecordDecoder::bcd(const std::uint8_t* bytes, int decimals) {
    // Byte 0: bit 7 = positive, bit 6 set on every value, bits 0-5 = decimals.
    // A value without bit 6 is NULL (including the 0x06 0x00... form).
    if ((bytes[0] & 0x40) == 0) return Null{};
    const bool negative = (bytes[0] & 0x80) == 0;
    int value[kBcdDigits];
    for (int i = 0; i < kBcdDigits; ++i) {
        unsigned nibble = (i % 2 == 0) ? bytes[1 + i / 2] >> 4 : bytes[1 + i / 2] & 0x0F;
        value[i] = static_cast<int>(negative ? nibble ^ 0x0F : nibble);
    }
    // Some converters fill the digits past a double's precision with nibbles
    // above 9; read each nibble at its place value and carry, which keeps the
    // number the writer stored (and changes nothing for proper digits).
    for (int i = kBcdDigits - 1; i >= 0; --i) {
        if (value[i] <= 9) continue;
        if (i == 0) return ValueError{"BCD value overflows its 32 digits"};
        value[i] -= 10;
        ++value[i - 1];
    }
    char digits[kBcdDigits];
    bool nonZero = false;
    for (int i = 0; i < kBcdDigits; ++i) {
        digits[i] = static_cast<char>('0' + value[i]);
        nonZero = nonZero || value[i] != 0;
    }
    const int whole = kBcdDigits - decimals;
    int first = 0;
    while (first < whole - 1 && digits[first] == '0') ++first;
    std::string text;
    if (negative && nonZero) text += '-';
    if (whole > 0) text.append(digits + first, digits + whole);
    else text += '0';
    if (decimals > 0) {
        text += '.';
        text.append(digits + whole, digits + kBcdDigits);
    }
    return Decimal{std::move(text)};
}

[[gnu::always_inline]] inline void RecordDecoder::decodeInto(const std::uint8_t* record, const Layout& f,
                                                             std::size_t column, const Place& place, Value& out) const {
    const std::uint8_t* bytes = record + f.offset;
    // The header guarantees the sizes of the fixed-size types; the size tests
    // below only keep a decoder built by hand from reading past its field.
    switch (f.type) {
        case FieldType::Alpha: {
            if (bytes[0] == 0) return putNull(out);
            text_.decodeField(bytes, static_cast<std::size_t>(f.size), textCell(out));
            return;
        }
        case FieldType::Short:
            if (f.size == 2) {
                const std::uint16_t raw = be16(bytes);
                if (raw == 0) return putNull(out);
                return put(out, std::int64_t{static_cast<std::int16_t>(raw ^ 0x8000u)});
            }
            [[fallthrough]];
        case FieldType::Long:
        case FieldType::AutoIncrement:
            if (f.size == 4) {
                const std::uint32_t raw = be32(bytes);
                if (raw == 0) return putNull(out);
                return put(out, std::int64_t{static_cast<std::int32_t>(raw ^ 0x8000'0000u)});
            } else {
                const auto value = integer(bytes, f.size);
                if (!value) return putNull(out);
                return put(out, *value);
            }
        case FieldType::Date: {
            const std::uint32_t raw = be32(bytes);
            if (raw == 0) return putNull(out);
            return put(out, civilFromDays(static_cast<std::int32_t>(raw ^ 0x8000'0000u)));
        }
        case FieldType::Time: {
            const std::uint32_t raw = be32(bytes);
            if (raw == 0) return putNull(out);
            return put(out, Time{static_cast<std::int32_t>(raw ^ 0x8000'0000u)});
        }
        case FieldType::Number: {
            const std::uint64_t raw = be64(bytes);
            if (raw == 0) return putNull(out);
            return put(out, storedDouble(raw));
        }
        case FieldType::Money: {
            const std::uint64_t raw = be64(bytes);
            if (raw == 0) return putNull(out);
            return put(out, Money{storedDouble(raw)});
        }
        case FieldType::Timestamp: {
            const std::uint64_t raw = be64(bytes);
            if (raw == 0) return putNull(out);
            const double value = storedDouble(raw);
            if (!timestampInRange(value)) {
                out = timestamp(bytes);
                return;
            }
            return put(out, splitTimestamp(value));
        }
        case FieldType::Logical:
            // 0x80 false, 0x81 true, 0 NULL.
            if (bytes[0] == 0) return putNull(out);
            return put(out, (bytes[0] & 0x7F) != 0);
        case FieldType::Bcd:
        case FieldType::Bytes: return decodeRare(bytes, f, out);
        case FieldType::Memo: {
            // A memo short enough to sit wholly in its leader needs no blob file.
            const int leader = f.size - kBlobDescriptor;
            const std::uint32_t length = le32(bytes + leader + 4);
            if (length == 0 && allZero(bytes, static_cast<std::size_t>(f.size))) return putNull(out);
            if (length != 0 && length <= static_cast<std::uint32_t>(leader) && heldInLeader(bytes, leader, length)) {
                std::size_t size = length;
                while (size > 0 && bytes[size - 1] == 0) --size;
                text_.decode(bytes, size, textCell(out));
                return;
            }
            out = blob(bytes, static_cast<int>(column), place);
            return;
        }
        case FieldType::Binary:
        case FieldType::FormattedMemo:
        case FieldType::Ole:
        case FieldType::Graphic: out = blob(bytes, static_cast<int>(column), place); return;
    }
    putNull(out);
}

void RecordDecoder::decode(const std::uint8_t* record, int column, const Place& place, Value& out) const {
    const auto at = static_cast<std::size_t>(column);
    decodeInto(record, layout_[at], at, place, out);
}

void RecordDecoder::decodeRow(const std::uint8_t* record, const Place& place, std::vector<Value>& out) const {
    out.resize(layout_.size());
    // Through locals: a store into a cell could otherwise alias the vectors'
    // own pointers and make the compiler reload them for every field.
    Value* cell = out.data();
    const Layout* field = layout_.data();
    const std::size_t count = layout_.size();
    for (std::size_t i = 0; i < count; ++i) decodeInto(record, field[i], i, place, cell[i]);
}

void RecordDecoder::decodeRare(const std::uint8_t* bytes, const Layout& f, Value& out) const {
    if (f.type == FieldType::Bcd) {
        out = bcd(bytes, f.decimals);
    } else if (allZero(bytes, static_cast<std::size_t>(f.size))) {
        putNull(out);
    } else {
        out = Bytes{FieldType::Bytes, std::vector<std::uint8_t>(bytes, bytes + f.size)};
    }
}

Value RecordDecoder::blob(const std::uint8_t* bytes, int column, const Place& place) const {
    const Layout& f = layout_[static_cast<std::size_t>(column)];
    const int leader = f.size - kBlobDescriptor;
    const std::uint32_t reference = le32(bytes + leader);
    const std::uint32_t length = le32(bytes + leader + 4);
    // Where the value is: only in the place the record gives it.
    // The detail names the field and block, not the row: the one who reads it knows the row.
    const auto damaged = [&](const char* brief, const std::string& what) {
        return ValueError{brief, what + "; field '" + names_[static_cast<std::size_t>(column)].name + "', block " +
                                     std::to_string(place.block)};
    };
    // An empty value leaves its whole field blank.
    if (length == 0) {
        if (allZero(bytes, static_cast<std::size_t>(f.size))) return Null{};
        return damaged("its length and place disagree",
                       "the record gives the value no length, yet its other bytes are not blank");
    }
    // A value short enough for the leader is held there, and nowhere else.
    if (length <= static_cast<std::uint32_t>(leader) && !heldInLeader(bytes, leader, length))
        return damaged("its length and place disagree",
                       "the record gives the value's length as " + groupedNumber(static_cast<std::int64_t>(length)) +
                           " bytes, short enough for its leader, but the rest of the field is not blank");

    if (f.type == FieldType::Memo && length <= static_cast<std::uint32_t>(leader)) {
        std::size_t size = length;
        while (size > 0 && bytes[size - 1] == 0) --size;
        return text_.decode(bytes, size);
    }
    std::vector<std::uint8_t> data;
    if (length <= static_cast<std::uint32_t>(leader)) {
        // Nothing but the length set: a blank field whose length was damaged.
        if (allZero(bytes, length))
            return damaged("its length and place disagree",
                           "the record gives the value's length as " + groupedNumber(static_cast<std::int64_t>(length)) +
                               " bytes, yet the field holds nothing else");
        data.assign(bytes, bytes + length);
    } else {
        try {
            if (!blobs_) throw ReadError("the table has no blob file");
            data = blobs_->read(reference, length);
        } catch (const ReadError& error) {
            return damaged(blobs_ ? blobs_->problemInBrief() : "the blob file is missing", error.what());
        }
        // A memo's leader holds its first bytes: another value there is another memo's.
        const auto leaderBytes = static_cast<std::size_t>(leader);
        if (f.type == FieldType::Memo && !allZero(bytes, leaderBytes) &&
            !std::equal(bytes, bytes + leaderBytes, data.begin()))
            return damaged("its blob is damaged", "the blob the record points to (" + std::to_string(reference) +
                                                      ") does not begin with the memo's first " +
                                                      std::to_string(leaderBytes) + " bytes, which the record holds");
    }

    switch (f.type) {
        case FieldType::Memo: {
            std::size_t size = data.size();
            while (size > 0 && data[size - 1] == 0) --size;
            return text_.decode(data.data(), size);
        }
        case FieldType::FormattedMemo:
            if (const auto memo = formattedMemoText(data.data(), data.size()))
                return text_.decode(reinterpret_cast<const std::uint8_t*>(memo->data()), memo->size());
            return Bytes{f.type, std::move(data)};
        case FieldType::Graphic:
        case FieldType::Ole:
            if (data.size() >= kGraphicPrefix && le32(data.data() + 4) == data.size() - kGraphicPrefix)
                data.erase(data.begin(), data.begin() + kGraphicPrefix);
            return Bytes{f.type, std::move(data)};
        default: return Bytes{f.type, std::move(data)};
    }
}

}  // namespace driver
