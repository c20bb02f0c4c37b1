#include "driver/TableHeader.h"

#include "driver/ByteView.h"
#include "driver/FileReader.h"
#include "driver/Format.h"

#include <algorithm>
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
    if (static_cast<std::size_t>(h.headerSize) < namesAt + numFields)
        throw bad(0x02, "header size " + std::to_string(h.headerSize) + " is too small for " +
                            std::to_string(numFields) + " fields (at least " +
                            std::to_string(namesAt + numFields) + ")");
    if (file.size() < static_cast<std::uint64_t>(h.headerSize))
        throw ReadError(name + ": the file is cut short inside its header (" +
                        std::to_string(file.size()) + " of " + std::to_string(h.headerSize) +
                        " header bytes present)");

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
        RawField field{static_cast<FieldType>(code), recordBytes(static_cast<FieldType>(code), descriptor), 0, {}};
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

    std::size_t at = namesAt;
    for (int i = 0; i < numFields; ++i) {
        const std::string_view fieldName = header.cString(at, "name of field " + std::to_string(i + 1));
        h.fields[static_cast<std::size_t>(i)].rawName.assign(fieldName);
        at += fieldName.size() + 1;
    }
    if (extended) {
        // Field numbers (one short each), then the language driver's name.
        at += 2 * static_cast<std::size_t>(numFields);
        if (at < bytes.size()) {
            const std::size_t end = std::min(bytes.size(), at + 32);
            std::size_t stop = at;
            while (stop < end && bytes[stop] >= 0x20 && bytes[stop] < 0x7F) ++stop;
            if (stop < end && bytes[stop] == 0)
                h.sortName.assign(reinterpret_cast<const char*>(bytes.data() + at), stop - at);
        }
    }
    return h;
}

}  // namespace driver
