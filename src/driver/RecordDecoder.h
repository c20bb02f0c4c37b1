#pragma once
// Turns the bytes of one record into typed values, field by field.
//
// Blob values: a graphic or OLE value is stored behind an 8-byte prefix (4
// bytes of kind, then the length of what follows); we return what follows the
// prefix (the image or OLE object itself), like pxlib, and keep all bytes when
// the prefix does not check out. A formatted memo is its text (the layout is
// in FormattedMemo.h), or Bytes when it is not in that layout. A memo is
// text, with any trailing NUL bytes some writers count in its length removed.

#include "driver/Table.h"
#include "driver/TableHeader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace driver {

class BlobFile;
class TextDecoder;

class RecordDecoder {
public:
    // Where the record being decoded came from; only for error messages.
    struct Place {
        std::int64_t row;
        unsigned block;
        std::int64_t record;  // within the block, 0-based
    };

    // `blobs` may be null when the table has no blob fields.
    RecordDecoder(const std::vector<RawField>& fields, const std::vector<Field>& names,
                  const TextDecoder& text, const BlobFile* blobs);

    // Decodes field `column` of `record` (recordSize bytes).
    Value decode(const std::uint8_t* record, int column, const Place& place) const {
        Value value;
        decode(record, column, place, value);
        return value;
    }
    // The same into `out`, reusing the storage of a string already there.
    void decode(const std::uint8_t* record, int column, const Place& place, Value& out) const;
    // Every field of `record` into `out` (resized to the field count). A cell
    // that holds the same kind of value as before is overwritten in place, so
    // streaming rows through one vector allocates nothing for fixed-size
    // values and reuses each string's storage.
    void decodeRow(const std::uint8_t* record, const Place& place, std::vector<Value>& out) const;

    // Pure decoders for the record encodings, exposed for tests.
    static std::optional<std::int64_t> integer(const std::uint8_t* bytes, int size);
    static std::optional<double> number(const std::uint8_t* bytes);
    static Date dateFromDays(std::int64_t days);  // day 1 = 0001-01-01, any int64 day
    static Value timestamp(const std::uint8_t* bytes);
    static Value bcd(const std::uint8_t* bytes, int decimals);

private:
    Value blob(const std::uint8_t* bytes, int column, const Place& place) const;
    struct Layout {
        FieldType type;
        int offset;
        int size;
        int decimals;
    };
    // Field `f` (number `column`) of `record` into `out`.
    void decodeInto(const std::uint8_t* record, const Layout& f, std::size_t column, const Place& place,
                    Value& out) const;
    // BCD and bytes fields, kept out of the common path.
    [[gnu::noinline]] void decodeRare(const std::uint8_t* bytes, const Layout& f, Value& out) const;
    std::vector<Layout> layout_;
    const std::vector<Field>& names_;
    const TextDecoder& text_;
    const BlobFile* blobs_;
};

}  // namespace driver
