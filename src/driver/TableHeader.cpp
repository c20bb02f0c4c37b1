#include "driver/TableHeader.h"

#include "driver/BlockHead.h"
#include "driver/ByteView.h"
#include "driver/FileReader.h"
#include "driver/Format.h"

#include <algorithm>
#include <bitset>
#include <cstring>

namespace driver {
namespace {

using namespace format;

// Version ids: 3 = 3.0 ... 12 = 7.x; later engines kept 12, up to 15 is tolerated.
constexpr int kMinVersion = 3;
constexpr int kMaxVersion = 15;
constexpr int kFirstExtendedVersion = 5;
// Block size codes are 1..32 KiB.
constexpr int kLargestBlockKiB = 32;

std::string hex(unsigned value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    text += digits[(value >> 4) & 0xF];
    text += digits[value & 0xF];
    return text;
}

// Bytes a field of `type` occupies given its descriptor byte, or 0 when the
// descriptor is impossible for that type. Sizes per the field-type table.
int recordBytes(FieldType type, int descriptor) {
    switch (type) {
        case FieldType::Alpha:
        case FieldType::Bytes: return descriptor >= 1 ? descriptor : 0;
        case FieldType::Date:
        case FieldType::Long:
        case FieldType::Time:
        case FieldType::AutoIncrement: return descriptor == 4 ? 4 : 0;
        case FieldType::Short: return descriptor == 2 ? 2 : 0;
        case FieldType::Money:
        case FieldType::Number:
        case FieldType::Timestamp: return descriptor == 8 ? 8 : 0;
        case FieldType::Logical: return descriptor == 1 ? 1 : 0;
        case FieldType::Memo: return descriptor > kBlobDescriptorSize ? descriptor : 0;
        case FieldType::Binary:
        case FieldType::FormattedMemo:
        case FieldType::Ole:
        case FieldType::Graphic: return descriptor >= kBlobDescriptorSize ? descriptor : 0;
        case FieldType::Bcd: return descriptor <= kMaxBcdDecimals ? kBcdSize : 0;
    }
    return 0;
}

bool knownType(std::uint8_t code) {
    switch (code) {
        case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x09:
        case 0x0C: case 0x0D: case 0x0E: case 0x0F: case 0x10: case 0x14: case 0x15:
        case 0x16: case 0x17: case 0x18: return true;
        default: return false;
    }
}

// Recognises a few files that often carry a .db name but are something else.
std::string foreignFormat(const std::uint8_t* bytes, std::size_t size) {
    if (size >= 16 && std::memcmp(bytes, "SQLite format 3", 16) == 0) return "an SQLite database";
    static const std::uint8_t compound[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (size >= 8 && std::memcmp(bytes, compound, 8) == 0)
        return "an OLE compound file (such as a Windows thumbnail cache)";
    static const std::uint8_t berkeley[] = {0x00, 0x06, 0x15, 0x61};
    if (size >= 16 && (std::memcmp(bytes + 12, berkeley, 4) == 0 ||
                       (bytes[12] == 0x61 && bytes[13] == 0x15 && bytes[14] == 0x06 && bytes[15] == 0)))
        return "a Berkeley DB file";
    return {};
}

// Names of fields: Paradox allows 25 characters; a double-byte code page
// takes up to two bytes for each.
constexpr std::size_t kLongestName = 25;
constexpr std::size_t kLongestDriverName = 32;

bool doubleByte(int codePage) { return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950; }

constexpr const char* kNulInside = "holds a NUL before its end";

// Zeros that follow the names of a 3.5 table (its header does not end with them).
constexpr std::size_t kPaddingChecked = 16;
// The version id of 3.0 tables, whose header ends with the names; later
// headers fill whole units of 2 KiB.
constexpr int kVersion30 = 3;
constexpr std::size_t kHeaderUnit = 2048;
// Where the used part of a header ends (word at 0x51), and 4.0+ tables' highest field id (word at 0x64).
constexpr std::size_t kUsedEndAt = 0x51;
constexpr std::size_t kFieldIdsAt = 0x64;

// Whether the field names of a sound header end at `at` (after a NUL): on
// 4.0+ tables a number per field follows (1 to 255, each once, below the
// highest field id at 0x64 when there is one), then the language driver's
// name and its NUL, or nothing, ending where the used part of the header
// ends (0x51, when given); on 3.0 tables the header ends with the names; on
// 3.5 tables zeros follow them.
bool namesEndAt(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t fields, int version) {
    const bool extended = version >= kFirstExtendedVersion;
    if (at == 0 || at > bytes.size() || bytes[at - 1] != 0) return false;
    if (version == kVersion30) return at == bytes.size();
    if (!extended)
        return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                           bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + kPaddingChecked)),
                           [](std::uint8_t b) { return b == 0; });
    if (at + 2 * fields > bytes.size()) return false;
    const unsigned usedEnd = bytes[kUsedEndAt] | bytes[kUsedEndAt + 1] << 8;
    const unsigned fieldIds = bytes[kFieldIdsAt] | bytes[kFieldIdsAt + 1] << 8;
    std::bitset<256> seen;
    for (std::size_t i = 0; i < fields; ++i) {
        const std::uint8_t number = bytes[at + 2 * i];
        if (number == 0 || bytes[at + 2 * i + 1] != 0 || seen[number] || (fieldIds != 0 && number >= fieldIds))
            return false;
        seen.set(number);
    }
    const std::size_t from = at + 2 * fields;
    std::size_t stop = from;
    while (stop < bytes.size() && stop - from < kLongestDriverName && bytes[stop] >= 0x20 && bytes[stop] < 0x7F) ++stop;
    if (stop == bytes.size()) return stop == from && (usedEnd == 0 || usedEnd == stop);
    return bytes[stop] == 0 && (usedEnd == 0 || usedEnd == stop + 1);
}

// The field-name pointers: addresses the engine held the names at when it
// wrote the header (Paradox and pxlib write them so; other writers leave
// them alike), so each less its name's offset is the same for every name.
std::vector<std::uint32_t> namePointers(const std::vector<std::uint8_t>& bytes, std::size_t pointersAt,
                                        std::size_t fields) {
    std::vector<std::uint32_t> pointers;
    for (std::size_t i = 0; i < fields && pointersAt + 4 * i + 4 <= bytes.size(); ++i) {
        const std::uint8_t* p = bytes.data() + pointersAt + 4 * i;
        pointers.push_back(std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                           std::uint32_t{p[3]} << 24);
    }
    return pointers;
}

// Where each name starts by the pointers, or nothing when they do not
// increase or lead out of the header.
std::vector<std::size_t> startsByPointers(const std::vector<std::uint32_t>& pointers, std::size_t namesAt,
                                          std::size_t size) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < pointers.size(); ++i) {
        if ((i > 0 && pointers[i] <= pointers[i - 1]) || pointers[i] - pointers[0] >= size - namesAt) return {};
        starts.push_back(namesAt + (pointers[i] - pointers[0]));
    }
    return starts;
}

// What is wrong with a name of `size` bytes at `from` in itself, or nothing.
std::string nameProblem(const std::uint8_t* from, std::size_t size, std::size_t longest) {
    if (size == 0) return "is empty";
    if (std::any_of(from, from + size, [](std::uint8_t b) { return b < 0x20 || b == 0x7F; }))
        return "holds control characters";
    if (size > longest) return "is longer than " + std::to_string(kLongestName) + " characters";
    return {};
}

// Reads the names of h.fields from `namesAt`, each to its NUL, and checks
// them against what follows them (namesEndAt) and the field-name pointers.
// When the pointers do not say where names start, a name that is empty,
// too long or of control characters may be where a NUL was lost or added,
// so no name can be told from its neighbours. A name that cannot be used
// gets its nameProblem; when none can be told apart, h.namesUnplaced says
// why. Returns where the names end (0 when that is not known).
std::size_t readNames(TableHeader& h, const std::vector<std::uint8_t>& bytes, std::size_t pointersAt,
                      std::size_t namesAt) {
    const bool extended = h.version >= kFirstExtendedVersion;
    const std::size_t n = h.fields.size();
    const std::size_t longest = doubleByte(h.declaredCodePage) ? 2 * kLongestName : kLongestName;
    const auto begin = bytes.begin();
    auto nulFrom = [&](std::size_t from, std::size_t to) {
        return static_cast<std::size_t>(std::find(begin + static_cast<std::ptrdiff_t>(from),
                                                  begin + static_cast<std::ptrdiff_t>(to), std::uint8_t{0}) -
                                        begin);
    };
    auto unplaced = [&](std::string why, std::size_t end) {
        h.namesUnplaced = std::move(why);
        for (RawField& field : h.fields) field.nameProblem = "cannot be told from the others";
        return end;
    };

    // Each name to its NUL, one after the other; on 3.5 tables zeros follow
    // them, so an empty last name may be where a lost NUL ends.
    std::vector<std::size_t> starts;
    std::size_t end = namesAt;
    while (starts.size() < n && end < bytes.size()) {
        const std::size_t nul = nulFrom(end, bytes.size());
        if (nul == bytes.size()) break;
        starts.push_back(end);
        end = nul + 1;
    }
    const bool parsed = starts.size() == n && namesEndAt(bytes, end, n, h.version) &&
                        (extended || end > starts.back() + 1);
    if (!parsed) {
        end = 0;
        if (extended) {
            for (std::size_t at = namesAt + n; at <= bytes.size() && end == 0; ++at)
                if (namesEndAt(bytes, at, n, h.version)) end = at;
        } else if (h.version == kVersion30) {
            if (namesEndAt(bytes, bytes.size(), n, h.version)) end = bytes.size();
        } else {
            // After the last byte that is not followed by zeros.
            for (std::size_t at = namesAt + 1; at <= bytes.size() && end == 0; ++at)
                if (bytes[at - 1] != 0 && namesEndAt(bytes, at + 1, n, h.version)) end = at + 1;
        }
    }

    const std::vector<std::uint32_t> pointers = namePointers(bytes, pointersAt, n);
    std::vector<std::string> problems(n);
    bool confirmed = false;  // by the pointers
    if (parsed && pointers.size() == n) {
        // Each pointer less its name's place is the same for every name the
        // pointers confirm; they mean something when two or more agree.
        std::vector<std::uint32_t> base(n);
        for (std::size_t i = 0; i < n; ++i) base[i] = pointers[i] - static_cast<std::uint32_t>(starts[i]);
        std::vector<std::uint32_t> sorted = base;
        std::sort(sorted.begin(), sorted.end());
        std::uint32_t common = 0;
        std::size_t most = 0;
        for (std::size_t i = 0, j = 0; i < n; i = j) {
            while (j < n && sorted[j] == sorted[i]) ++j;
            if (j - i > most) most = j - i, common = sorted[i];
        }
        confirmed = most >= 2;
        for (std::size_t i = 0; confirmed && i < n; ++i)
            if (base[i] != common || (i + 1 < n && base[i + 1] != common))
                problems[i] = "is not where the field-name pointers place it";
    } else if (!parsed) {
        // The pointers place the names where the NULs do not.
        const std::vector<std::size_t> byPointers = startsByPointers(pointers, namesAt, bytes.size());
        if (n > 1 && byPointers.size() == n && (end == 0 || byPointers.back() < end)) {
            for (std::size_t i = 0; i < n; ++i) {
                const bool last = i + 1 == n;
                const std::size_t limit = !last ? byPointers[i + 1] : end != 0 ? end : bytes.size();
                const std::size_t nul = nulFrom(byPointers[i], limit);
                if (nul == limit)
                    problems[i] = "is not NUL-terminated (byte " + std::to_string(limit - 1) + " holds " +
                                  hex(bytes[limit - 1]) + ")";
                else if (nul + 1 != limit && (!last || end != 0))
                    problems[i] = kNulInside;
                else if (last && end == 0)
                    problems[i] = "is not followed by what ends the names";
            }
            // A NUL before the pointer's start ends the name before it
            // elsewhere: that pointer is no better than the NULs.
            for (std::size_t i = n - 1; i > 0; --i)
                if (problems[i].empty() && problems[i - 1] == kNulInside)
                    problems[i] = "does not start where the field-name pointers place it";
            starts = byPointers;
            confirmed = true;
        } else if (end != 0) {
            starts.clear();
            for (std::size_t at = namesAt; at < end; at = nulFrom(at, end) + 1) starts.push_back(at);
            if (starts.size() != n)
                return unplaced("the field names (bytes " + std::to_string(namesAt) + "-" + std::to_string(end - 1) +
                                    ") are " + std::to_string(starts.size()) + " for " + std::to_string(n) + " fields",
                                end);
        } else {
            return unplaced("the field names from byte " + std::to_string(namesAt) +
                                " on do not end where the header shows they should",
                            end);
        }
    }

    for (std::size_t i = 0; i < n; ++i) {
        RawField& field = h.fields[i];
        field.nameAt = starts[i];
        const std::size_t stop = nulFrom(starts[i], bytes.size());
        if (problems[i].empty()) {
            problems[i] = nameProblem(bytes.data() + starts[i], stop - starts[i], longest);
            if (!problems[i].empty() && !confirmed)
                return unplaced("the name of field " + std::to_string(i + 1) + " (byte " + std::to_string(starts[i]) +
                                    ") " + problems[i] + ", which may be where a NUL was lost or added",
                                end);
        }
        field.nameProblem = problems[i];
        if (field.nameProblem.empty())
            field.rawName.assign(begin + static_cast<std::ptrdiff_t>(starts[i]),
                                 begin + static_cast<std::ptrdiff_t>(stop));
    }
    return end;
}

}  // namespace

TableHeader TableHeader::read(const FileReader& file) {
    const std::string& name = file.name();
    if (file.size() == 0) throw ReadError(name + ": the file is empty, not a Paradox table");

    std::uint8_t fixed[kExtendedHeaderEnd] = {};
    const std::size_t got = file.readAt(0, fixed, sizeof fixed);
    if (const std::string other = foreignFormat(fixed, got); !other.empty())
        throw ReadError(name + ": this is " + other + ", not a Paradox table");
    if (got < kFixedHeaderEnd)
        throw ReadError(name + ": the file is " + std::to_string(got) +
                        " bytes long, too short for a Paradox table header (at least " +
                        std::to_string(kFixedHeaderEnd) + ")");

    const ByteView head(fixed, got, name);
    TableHeader h;
    h.recordSize = head.u16le(0x00, "record size");
    h.headerSize = head.u16le(0x02, "header size");
    h.fileType = head.u8(0x04, "file type");
    const int blockKiB = head.u8(0x05, "block size");
    h.numRecords = head.u32le(0x06, "record count");
    h.fileBlocks = head.u16le(0x0C, "block count");
    h.firstBlock = head.u16le(0x0E, "first block");
    h.lastBlock = head.u16le(0x10, "last block");
    h.needsRebuild = head.u8(0x14, "modified flag") != 0 || head.u8(0x2A, "modified flag") != 0;
    const int numFields = head.s16le(0x21, "field count");
    h.keyFields = head.s16le(0x23, "key field count");
    const std::uint32_t key1 = head.u32le(0x25, "scramble key");
    h.sortOrder = head.u8(0x29, "sort order");
    h.version = head.u8(0x39, "file version");
    h.firstFreeBlock = head.u16le(0x4D, "first free block");

    auto bad = [&](std::size_t offset, const std::string& what) -> ReadError {
        return ReadError(name + ": not a readable Paradox table: " + what + " (byte " +
                         std::to_string(offset) + ")");
    };
    if (h.fileType != 0 && h.fileType != 2) {
        std::string what = "file type " + std::to_string(h.fileType);
        if (h.fileType == 1 || (h.fileType >= 3 && h.fileType <= 8))
            what += " is an index file, not a data table";
        else
            what += " is not a data table (0 or 2 expected)";
        throw bad(0x04, what);
    }
    if (h.version < kMinVersion || h.version > kMaxVersion)
        throw bad(0x39, "file version id " + std::to_string(h.version) + " is outside 3..15");
    if (blockKiB < 1 || blockKiB > kLargestBlockKiB)
        throw bad(0x05, "block size code " + std::to_string(blockKiB) + " is outside 1..32 KiB");
    h.blockSize = blockKiB * 1024;
    if (numFields < 1 || numFields > 255)
        throw bad(0x21, "field count " + std::to_string(numFields) + " is outside 1..255");
    // A record too large for the header's block size is left to the chain
    // walk: the block size code may be what is wrong (see ChainRecovery).
    if (h.recordSize < 1 || h.recordSize > kLargestBlockKiB * 1024 - kBlockHeaderSize)
        throw bad(0x00, "record size " + std::to_string(h.recordSize) + " does not fit even a " +
                            std::to_string(kLargestBlockKiB) + " KiB block");

    const bool extended = h.version >= kFirstExtendedVersion;
    const std::size_t descriptorsAt = extended ? kExtendedHeaderEnd : kFixedHeaderEnd;
    const std::size_t nameArea = extended && h.version >= 12 ? kTableNameLong : kTableNameShort;
    // Descriptors, table-name pointer, field-name pointers, table name, then the names.
    const std::size_t namesAt = descriptorsAt + 2 * numFields + 4 + 4 * numFields + nameArea;
    // A header size the file cannot have (too small for the names, or past
    // the file's end) gives way to the size at which the rest of the file is
    // exactly the header's blocks, when that size is one the format writes.
    const bool tooSmall = static_cast<std::size_t>(h.headerSize) < namesAt + numFields;
    if (tooSmall || file.size() < static_cast<std::uint64_t>(h.headerSize)) {
        const std::uint64_t blocks = static_cast<std::uint64_t>(h.fileBlocks) * static_cast<std::uint64_t>(h.blockSize);
        const std::uint64_t size = file.size() >= blocks ? file.size() - blocks : 0;
        if (size < namesAt + numFields || size > 0xFFFF || (h.version > kVersion30 && size % kHeaderUnit != 0)) {
            if (tooSmall)
                throw bad(0x02, "header size " + std::to_string(h.headerSize) + " is too small for " +
                                    std::to_string(numFields) + " fields (at least " +
                                    std::to_string(namesAt + numFields) + ")");
            throw ReadError(name + ": the file is cut short inside its header (" + std::to_string(file.size()) +
                            " of " + std::to_string(h.headerSize) + " header bytes present)");
        }
        h.findings.push_back(name + ": the header gives its own size as " + groupedNumber(h.headerSize) +
                             " bytes (byte 2), " +
                             (tooSmall ? "too small for its field names" : "beyond the end of the file") +
                             "; the rest of the file is the " + groupedNumber(h.fileBlocks) +
                             (h.fileBlocks == 1 ? " block" : " blocks") + " it counts from byte " + std::to_string(size) +
                             " on, so the header was read as " + groupedNumber(static_cast<std::int64_t>(size)) +
                             " bytes");
        h.headerSize = static_cast<int>(size);
    }

    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(h.headerSize));
    if (file.readAt(0, bytes.data(), bytes.size()) != bytes.size())
        throw ReadError(name + ": the file shrank while its header was read");
    const ByteView header(bytes.data(), bytes.size(), name);

    if (extended) {
        h.declaredCodePage = header.u16le(0x6A, "code page");
        if (key1 == kKeyMovedMarker) h.key = header.u32le(0x5C, "scramble key");
        else h.key = key1;
    } else {
        h.key = key1;
    }

    int sum = 0;
    h.fields.reserve(static_cast<std::size_t>(numFields));
    for (int i = 0; i < numFields; ++i) {
        const std::size_t at = descriptorsAt + 2 * static_cast<std::size_t>(i);
        const std::uint8_t code = header.u8(at, "field type");
        const int descriptor = header.u8(at + 1, "field size");
        if (!knownType(code))
            throw bad(at, "field " + std::to_string(i + 1) + " has unknown type " + hex(code));
        RawField field{static_cast<FieldType>(code), recordBytes(static_cast<FieldType>(code), descriptor), 0, {}, 0, {}};
        if (field.size == 0)
            throw bad(at + 1, "field " + std::to_string(i + 1) + " of type " + hex(code) +
                                  " has impossible size " + std::to_string(descriptor));
        if (field.type == FieldType::Bcd) field.decimals = descriptor;
        sum += field.size;
        h.fields.push_back(std::move(field));
    }
    if (sum != h.recordSize)
        throw bad(0x00, "record size " + std::to_string(h.recordSize) +
                            " differs from the sum of the field sizes (" + std::to_string(sum) + ")");

    const std::size_t pointersAt = descriptorsAt + 2 * static_cast<std::size_t>(numFields) + 4;
    const std::size_t namesEnd = readNames(h, bytes, pointersAt, namesAt);
    h.usedEnd = namesEnd != 0 ? namesEnd : namesAt + static_cast<std::size_t>(numFields);
    if (extended && namesEnd != 0) {
        // Field numbers (one short each), then the language driver's name.
        const std::size_t at = namesEnd + 2 * static_cast<std::size_t>(numFields);
        h.usedEnd = std::min(bytes.size(), at);
        if (at < bytes.size()) {
            const std::size_t end = std::min(bytes.size(), at + kLongestDriverName);
            std::size_t stop = at;
            while (stop < end && bytes[stop] >= 0x20 && bytes[stop] < 0x7F) ++stop;
            if (stop < end && bytes[stop] == 0) {
                h.sortName.assign(reinterpret_cast<const char*>(bytes.data() + at), stop - at);
                h.usedEnd = stop + 1;
            }
        }
    }
    return h;
}

}  // namespace driver
