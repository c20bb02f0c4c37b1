#include "driver/RecordDecoder.h"

#include "driver/BlobFile.h"
#include "driver/TextDecoder.h"

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
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
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
    if (allZero(bytes, 8)) return std::nullopt;
    std::uint64_t raw = 0;
    for (int i = 0; i < 8; ++i) raw = (raw << 8) | bytes[i];
    // Top bit set: positive, clear it. Clear: negative, every bit was inverted.
    raw = (raw & 0x8000'0000'0000'0000ull) ? raw & 0x7FFF'FFFF'FFFF'FFFFull : ~raw;
    return std::bit_cast<double>(raw);
}

Date RecordDecoder::dateFromDays(std::int64_t days) {
    // Civil-from-days on the proleptic Gregorian calendar (400-year eras).
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

Value RecordDecoder::timestamp(const std::uint8_t* bytes) {
    const auto value = number(bytes);
    if (!value) return Null{};
    if (!std::isfinite(*value) || std::fabs(*value) > kTimestampLimit)
        return ValueError{"timestamp value " + std::to_string(*value) + " is out of range"};
    // Round half away from zero (what llround does, without the library call).
    const std::int64_t total = static_cast<std::int64_t>(*value < 0 ? *value - 0.5 : *value + 0.5);
    const std::int64_t day = floorDiv(total, kMillisecondsPerDay);
    return Timestamp{dateFromDays(day), Time{total - day * kMillisecondsPerDay}};
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

void RecordDecoder::decode(const std::uint8_t* record, int column, const Place& place, Value& out) const {
    const Layout& f = layout_[static_cast<std::size_t>(column)];
    const std::uint8_t* bytes = record + f.offset;
    switch (f.type) {
        case FieldType::Alpha: {
            if (bytes[0] == 0) {
                out = Null{};
                return;
            }
            const void* nul = std::memchr(bytes, 0, static_cast<std::size_t>(f.size));
            const std::size_t length =
                nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes)
                    : static_cast<std::size_t>(f.size);
            std::string* text = std::get_if<std::string>(&out);
            if (!text) text = &out.emplace<std::string>();
            text->clear();
            text_.decode(bytes, length, *text);
            return;
        }
        case FieldType::Short:
        case FieldType::Long:
        case FieldType::AutoIncrement: {
            const auto value = integer(bytes, f.size);
            if (value) out = *value;
            else out = Null{};
            return;
        }
        case FieldType::Date: {
            const auto value = integer(bytes, 4);
            if (value) out = dateFromDays(*value);
            else out = Null{};
            return;
        }
        case FieldType::Time: {
            const auto value = integer(bytes, 4);
            if (value) out = Time{*value};
            else out = Null{};
            return;
        }
        case FieldType::Number: {
            const auto value = number(bytes);
            if (value) out = *value;
            else out = Null{};
            return;
        }
        case FieldType::Money: {
            const auto value = number(bytes);
            if (value) out = Money{*value};
            else out = Null{};
            return;
        }
        case FieldType::Timestamp: out = timestamp(bytes); return;
        case FieldType::Logical:
            // 0x80 false, 0x81 true, 0 NULL.
            if (bytes[0] == 0) out = Null{};
            else out = (bytes[0] & 0x7F) != 0;
            return;
        case FieldType::Bcd: out = bcd(bytes, f.decimals); return;
        case FieldType::Bytes:
            if (allZero(bytes, static_cast<std::size_t>(f.size))) out = Null{};
            else out = Bytes{FieldType::Bytes, std::vector<std::uint8_t>(bytes, bytes + f.size)};
            return;
        case FieldType::Memo:
        case FieldType::Binary:
        case FieldType::FormattedMemo:
        case FieldType::Ole:
        case FieldType::Graphic: out = blob(bytes, column, place); return;
    }
    out = Null{};
}

Value RecordDecoder::blob(const std::uint8_t* bytes, int column, const Place& place) const {
    const Layout& f = layout_[static_cast<std::size_t>(column)];
    const int leader = f.size - kBlobDescriptor;
    const std::uint32_t reference = le32(bytes + leader);
    const std::uint32_t length = le32(bytes + leader + 4);
    if (length == 0) return Null{};

    if (f.type == FieldType::Memo && length <= static_cast<std::uint32_t>(leader)) {
        std::size_t size = length;
        while (size > 0 && bytes[size - 1] == 0) --size;
        return text_.decode(bytes, size);
    }
    std::vector<std::uint8_t> data;
    if (length <= static_cast<std::uint32_t>(leader)) {
        data.assign(bytes, bytes + length);
    } else {
        try {
            if (!blobs_) throw ReadError("the table has no blob file");
            data = blobs_->read(reference, length);
        } catch (const ReadError& error) {
            return ValueError{std::string(error.what()) + " (row " + std::to_string(place.row + 1) +
                              ", block " + std::to_string(place.block) + ", record " +
                              std::to_string(place.record + 1) + ", field '" +
                              names_[static_cast<std::size_t>(column)].name + "')"};
        }
    }

    switch (f.type) {
        case FieldType::Memo: {
            std::size_t size = data.size();
            while (size > 0 && data[size - 1] == 0) --size;
            return text_.decode(data.data(), size);
        }
        case FieldType::Graphic:
        case FieldType::Ole:
            if (data.size() >= kGraphicPrefix && le32(data.data() + 4) == data.size() - kGraphicPrefix)
                data.erase(data.begin(), data.begin() + kGraphicPrefix);
            return Bytes{f.type, std::move(data)};
        default: return Bytes{f.type, std::move(data)};
    }
}

}  // namespace driver
