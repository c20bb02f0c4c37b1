#pragma once
// Byte-level encoders for a Paradox record and its bookkeeping. Pure functions
// on caller-owned buffers; every `out` must have room for the bytes named.
//
// Header and block bookkeeping are little-endian. Field values are big-endian
// with the sign bit flipped, so that all-zero bytes mean NULL and a stored 0
// is 80 00 ... (format note, section 5.2).

#include "driver/Value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paradoxwriter::encode {

void u16le(std::uint8_t* out, std::uint16_t value);
void u32le(std::uint8_t* out, std::uint32_t value);

// Short, long, autoincrement, date and time fields: `size` (2 or 4) bytes of
// big-endian two's complement with the top bit inverted. The caller keeps
// `value` inside the range for `size` excluding its lowest value (that one
// would be stored as all zeros, i.e. NULL).
void integer(std::uint8_t* out, std::int64_t value, int size);

// Number, money and timestamp fields: 8 bytes of big-endian IEEE double; a
// value with the sign bit clear gets it set, a negative value has every bit
// inverted. `value` must not be NaN.
void number(std::uint8_t* out, double value);

// Days on the proleptic Gregorian calendar with 0001-01-01 = 1; nullopt for
// a date that does not exist (month 13, 30 February) or lies outside years 1..9999.
std::optional<std::int64_t> dayNumber(const driver::Date& date);

// The 17 bytes of a BCD field with `decimals` fraction digits (0..32) from a
// decimal text: optional '-', digits, optional '.' and up to `decimals`
// fraction digits (fewer are padded), at most 32 digits in all. Returns false
// for any other text and leaves `out` untouched.
bool bcd(std::uint8_t* out, std::string_view text, int decimals);

// A graphic or OLE value as stored: 01 00 00 `kind` (1 graphic, 2 OLE), the
// length of `data` (little-endian long), then `data`.
std::string prefixedBlob(std::uint8_t kind, const std::vector<std::uint8_t>& data);

// A formatted memo holding `text` (bytes in the table's code page, without
// NUL), laid out as Paradox for Windows stores one typed in its default font
// (driver/FormattedMemo.h).
std::string formattedMemo(std::string_view text);

}  // namespace paradoxwriter::encode
