#include "paradoxwriter/Writer.h"

#include "driver/Format.h"
#include "paradoxwriter/BlobWriter.h"
#include "paradoxwriter/Encode.h"
#include "paradoxwriter/Scrambler.h"
#include "paradoxwriter/TextEncoder.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

namespace paradoxwriter {
namespace {

using driver::FieldType;

// Header layout (format note, section 3). The fixed part ends at 0x58, the
// 4.0+ extension at 0x78; then descriptors, pointers, names.
constexpr int kHeaderUnit = 2048;
constexpr std::uint8_t kKeyedTable = 0;
constexpr std::uint8_t kNonKeyedTable = 2;
// Version ids: 3 = 3.0, 4 = 3.5, 5 = the first 4.x (the extended header), 10 = 5.0, 12 = 7.x.
constexpr int kVersion30 = 3;
constexpr int kVersion40 = 5;
constexpr int kVersion50 = 10;
constexpr int kVersion7 = 12;
using driver::format::kKeyMovedMarker;
constexpr int kBlockHeader = driver::format::kBlockHeaderSize;
constexpr int kMaxBlocks = 0xFFFF;
constexpr int kMaxFields = 255;
constexpr int kMaxNameBytes = 25;
constexpr int kBlobDescriptor = driver::format::kBlobDescriptorSize;
constexpr int kMaxLeader = 240;
constexpr int kBcdBytes = driver::format::kBcdSize;
using driver::format::kMaxBcdDecimals;
constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
// Modification number given to blobs stored in the .MB (inline ones carry 0).
constexpr std::uint16_t kBlobModification = 1;

struct DriverName {
    const char* name;
    std::uint8_t sortOrder;
};

DriverName driverName(LanguageDriver driver) {
    switch (driver) {
        case LanguageDriver::DbWinUs0: return {"DBWINUS0", 0x4C};
        case LanguageDriver::DbWinWe0: return {"DBWINWE0", 0x40};
        case LanguageDriver::AnsiI850: return {"ANSII850", 0x11};
        case LanguageDriver::Ascii: return {"ascii", 0x00};
        case LanguageDriver::Intl: return {"intl", 0xB7};
        case LanguageDriver::Intl850: return {"intl850", 0x54};
        case LanguageDriver::Nordan40: return {"nordan40", 0xE6};
        case LanguageDriver::Turk: return {"turk", 0xC6};
        case LanguageDriver::Cyrr: return {"cyrr", 0xC0};
        case LanguageDriver::China: return {"china", 0x03};
        case LanguageDriver::AnsiIntl: break;
    }
    return {"ANSIINTL", 0x62};
}

// The DOS code pages' own drivers; Windows pages keep the ANSI one.
LanguageDriver driverFor(int codePage) {
    switch (codePage) {
        case 437: return LanguageDriver::Intl;
        case 850: return LanguageDriver::Intl850;
        case 865: return LanguageDriver::Nordan40;
        case 857: return LanguageDriver::Turk;
        case 866: return LanguageDriver::Cyrr;
        case 936: return LanguageDriver::China;
        default: return LanguageDriver::AnsiIntl;
    }
}

// Bytes kept for the table name: 79 up to 5.x, 261 from 7.x.
int tableNameArea(int version) {
    return version >= kVersion7 ? driver::format::kTableNameLong : driver::format::kTableNameShort;
}

// The first version id whose tables can hold a field of `type`.
int firstVersion(FieldType type) {
    switch (type) {
        case FieldType::Memo:
        case FieldType::Binary:
        case FieldType::FormattedMemo:
        case FieldType::Ole:
        case FieldType::Graphic: return kVersion40;
        case FieldType::Long:
        case FieldType::Time:
        case FieldType::Timestamp:
        case FieldType::Logical:
        case FieldType::AutoIncrement:
        case FieldType::Bcd:
        case FieldType::Bytes: return kVersion50;
        default: return kVersion30;
    }
}

const char* typeName(FieldType type) {
    switch (type) {
        case FieldType::Alpha: return "alpha";
        case FieldType::Date: return "date";
        case FieldType::Short: return "short";
        case FieldType::Long: return "long";
        case FieldType::Money: return "money";
        case FieldType::Number: return "number";
        case FieldType::Logical: return "logical";
        case FieldType::Memo: return "memo";
        case FieldType::Binary: return "binary";
        case FieldType::FormattedMemo: return "formatted memo";
        case FieldType::Ole: return "OLE";
        case FieldType::Graphic: return "graphic";
        case FieldType::Time: return "time";
        case FieldType::Timestamp: return "timestamp";
        case FieldType::AutoIncrement: return "autoincrement";
        case FieldType::Bcd: return "BCD";
        case FieldType::Bytes: return "bytes";
        default: return "unsupported";
    }
}

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::filesystem::path blobPathFor(const std::filesystem::path& dbFile) {
    const std::string extension = dbFile.extension().string();
    const bool lower = extension.size() >= 2 && extension[1] == 'd';
    std::filesystem::path blob = dbFile;
    blob.replace_extension(lower ? ".mb" : ".MB");
    return blob;
}

// The integer inside an int64 value.
std::optional<std::int64_t> wholeNumber(const driver::Value& value) {
    if (const auto* i = std::get_if<std::int64_t>(&value)) return *i;
    return std::nullopt;
}

std::optional<double> realNumber(const driver::Value& value, bool money) {
    if (const auto* d = std::get_if<double>(&value)) return *d;
    if (const auto* i = std::get_if<std::int64_t>(&value)) return static_cast<double>(*i);
    if (const auto* m = std::get_if<driver::Money>(&value); m && money) return m->value;
    return std::nullopt;
}

}  // namespace

int Writer::recordBytes(const FieldDef& field) {
    switch (field.type) {
        case FieldType::Alpha:
        case FieldType::Bytes: return field.size;
        case FieldType::Memo:
        case FieldType::Binary:
        case FieldType::FormattedMemo:
        case FieldType::Ole:
        case FieldType::Graphic: return field.size + kBlobDescriptor;
        case FieldType::Short: return 2;
        case FieldType::Long:
        case FieldType::AutoIncrement:
        case FieldType::Date:
        case FieldType::Time: return 4;
        case FieldType::Number:
        case FieldType::Money:
        case FieldType::Timestamp: return 8;
        case FieldType::Logical: return 1;
        case FieldType::Bcd: return kBcdBytes;
        default: return 0;
    }
}

Writer::Writer(std::filesystem::path dbFile, std::vector<FieldDef> fields, Options options)
    : path_(std::move(dbFile)), options_(std::move(options)) {
    const std::string file = path_.string();
    auto bad = [&](const std::string& what) { return WriteError(file + ": " + what); };

    const int version = options_.version;
    if (version < kVersion30 || version > kVersion7)
        throw bad("version id " + std::to_string(version) + " is outside 3..12");
    if (options_.blockKiB != 1 && options_.blockKiB != 2 && options_.blockKiB != 4 && options_.blockKiB != 8 &&
        options_.blockKiB != 16 && options_.blockKiB != 32)
        throw bad("block size " + std::to_string(options_.blockKiB) + " KiB is not one of 1, 2, 4, 8, 16, 32");
    if (fields.empty() || fields.size() > kMaxFields)
        throw bad("a table has 1 to 255 fields, not " + std::to_string(fields.size()));
    if (options_.keyFields < 0 || options_.keyFields > static_cast<int>(fields.size()))
        throw bad(std::to_string(options_.keyFields) + " key fields in a table of " +
                  std::to_string(fields.size()));
    if (options_.rowsPerBlock < 0) throw bad("rows per block is 0 (as many as fit) or more");
    text_ = std::make_unique<TextEncoder>(options_.codePage);

    std::set<std::string> seen;
    int autoIncrements = 0;
    bool hasBlobs = false;
    for (FieldDef& def : fields) {
        const std::string where = "field \"" + def.name + "\": ";
        const auto name = text_->encode(def.name);
        if (!name) throw bad(where + "the name has characters code page " +
                             std::to_string(options_.codePage) + " cannot hold");
        if (name->empty() || name->size() > kMaxNameBytes || name->find('\0') != std::string::npos)
            throw bad(where + "a field name has 1 to 25 characters");
        if (!seen.insert(lowerAscii(def.name)).second) throw bad(where + "the name is used twice");
        if (version < firstVersion(def.type))
            throw bad(where + "a table of version id " + std::to_string(version) + " has no " +
                      typeName(def.type) + " fields");
        if (static_cast<int>(columns_.size()) < options_.keyFields && firstVersion(def.type) == kVersion40)
            throw bad(where + "a blob field cannot be part of the key");
        const int size = def.size;
        switch (def.type) {
            case FieldType::Alpha:
            case FieldType::Bytes:
                if (size < 1 || size > 255) throw bad(where + "width " + std::to_string(size) + " is outside 1..255");
                break;
            case FieldType::Memo:
            case FieldType::Binary:
            case FieldType::FormattedMemo:
            case FieldType::Ole:
            case FieldType::Graphic:
                if (size < (def.type == FieldType::Memo ? 1 : 0) || size > kMaxLeader)
                    throw bad(where + "leader of " + std::to_string(size) + " bytes is outside " +
                              (def.type == FieldType::Memo ? "1" : "0") + "..240");
                hasBlobs = true;
                break;
            case FieldType::Bcd:
                if (size < 0 || size > kMaxBcdDecimals)
                    throw bad(where + std::to_string(size) + " decimals is outside 0..32");
                break;
            case FieldType::AutoIncrement:
                if (++autoIncrements > 1) throw bad(where + "a table has at most one autoincrement field");
                break;
            default:
                if (recordBytes(def) == 0)
                    throw bad(where + "type " + std::to_string(static_cast<int>(def.type)) + " cannot be written");
        }
        const int bytes = recordBytes(def);
        columns_.push_back({std::move(def), *name, recordSize_, bytes});
        recordSize_ += bytes;
    }

    blockSize_ = options_.blockKiB * 1024;
    if (recordSize_ > blockSize_ - kBlockHeader)
        throw bad("a record of " + std::to_string(recordSize_) + " bytes does not fit a " +
                  std::to_string(options_.blockKiB) + " KiB block");
    recordsPerBlock_ = (blockSize_ - kBlockHeader) / recordSize_;
    if (options_.rowsPerBlock > 0) recordsPerBlock_ = std::min(recordsPerBlock_, options_.rowsPerBlock);

    const auto tableName = text_->encode(options_.tableName.empty() ? path_.filename().string() : options_.tableName);
    if (!tableName || tableName->size() >= static_cast<std::size_t>(tableNameArea(version)) ||
        tableName->find('\0') != std::string::npos)
        throw bad("the table name does not fit the header's " + std::to_string(tableNameArea(version) - 1) +
                  " bytes in code page " + std::to_string(options_.codePage));
    options_.tableName = *tableName;
    // A 3.0 header ends with the field names; later ones fill whole 2 KiB units.
    const auto used = static_cast<int>(header().size());
    headerSize_ = version == kVersion30 ? used : (used + kHeaderUnit - 1) / kHeaderUnit * kHeaderUnit;

    file_.open(path_, std::ios::binary | std::ios::trunc);
    if (!file_) throw bad("cannot create the file");
    try {
        if (hasBlobs) {
            blobPath_ = blobPathFor(path_);
            blobs_ = std::make_unique<BlobWriter>(blobPath_);
        }
        const auto head = header();
        writeAt(0, head.data(), head.size());
    } catch (...) {
        removeFiles();
        throw;
    }
    block_.assign(static_cast<std::size_t>(blockSize_), 0);
    record_.assign(static_cast<std::size_t>(recordSize_), 0);
}

Writer::~Writer() {
    if (!finished_) removeFiles();
}

void Writer::removeFiles() noexcept {
    blobs_.reset();
    file_.close();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    if (!blobPath_.empty()) std::filesystem::remove(blobPath_, ignored);
}

// The used part of the header; headerSize_ bytes long once headerSize_ is set.
std::vector<std::uint8_t> Writer::header() const {
    const int version = options_.version;
    const bool extended = version >= kVersion40;
    const int fieldCount = static_cast<int>(columns_.size());
    std::vector<std::uint8_t> h(extended ? driver::format::kExtendedHeaderEnd : driver::format::kFixedHeaderEnd, 0);
    auto at = [&h](int offset) { return &h[static_cast<std::size_t>(offset)]; };

    // Variable part: descriptors, table-name pointer, field-name pointers
    // (runtime pointers, left 0), table name area, names; from 4.0 on, field
    // numbers and the driver name.
    for (const Column& c : columns_) {
        h.push_back(static_cast<std::uint8_t>(c.def.type));
        h.push_back(static_cast<std::uint8_t>(c.def.type == FieldType::Bcd ? c.def.size : c.bytes));
    }
    h.resize(h.size() + 4 + 4 * static_cast<std::size_t>(fieldCount), 0);
    const std::size_t tableName = h.size();
    h.resize(h.size() + static_cast<std::size_t>(tableNameArea(version)), 0);
    std::copy(options_.tableName.begin(), options_.tableName.end(), h.begin() + static_cast<std::ptrdiff_t>(tableName));
    for (const Column& c : columns_) {
        h.insert(h.end(), c.name.begin(), c.name.end());
        h.push_back(0);
    }
    const auto fieldNumbers = static_cast<int>(h.size());
    const DriverName driver = driverName(options_.languageDriver.value_or(driverFor(options_.codePage)));
    if (extended) {
        for (int i = 1; i <= fieldCount; ++i) {
            h.push_back(static_cast<std::uint8_t>(i));
            h.push_back(0);
        }
        for (const char* p = driver.name; *p; ++p) h.push_back(static_cast<std::uint8_t>(*p));
        h.push_back(0);
    }
    const auto used = static_cast<int>(h.size());
    h.resize(std::max<std::size_t>(h.size(), static_cast<std::size_t>(headerSize_)), 0);

    const int blocks = blockNumber_;
    encode::u16le(at(0x00), static_cast<std::uint16_t>(recordSize_));
    encode::u16le(at(0x02), static_cast<std::uint16_t>(headerSize_));
    h[0x04] = options_.keyFields > 0 ? kKeyedTable : kNonKeyedTable;
    h[0x05] = static_cast<std::uint8_t>(options_.blockKiB);
    encode::u32le(at(0x06), static_cast<std::uint32_t>(rows_));
    encode::u16le(at(0x0A), static_cast<std::uint16_t>(blocks));  // next block to use
    encode::u16le(at(0x0C), static_cast<std::uint16_t>(blocks));  // blocks in the file
    encode::u16le(at(0x0E), static_cast<std::uint16_t>(blocks > 0 ? 1 : 0));  // chain head
    encode::u16le(at(0x10), static_cast<std::uint16_t>(blocks));  // chain tail
    encode::u16le(at(0x21), static_cast<std::uint16_t>(fieldCount));
    encode::u16le(at(0x23), static_cast<std::uint16_t>(options_.keyFields));
    encode::u32le(at(0x25), extended ? kKeyMovedMarker : options_.scrambleKey);
    h[0x29] = driver.sortOrder;
    h[0x2D] = 2;  // header change counters, as pxlib writes them
    h[0x2E] = 1;
    h[0x39] = static_cast<std::uint8_t>(version);
    encode::u16le(at(0x3A), static_cast<std::uint16_t>(blocks));
    h[0x3E] = 0x1F;  // constant in .DB files
    h[0x3F] = 0x0F;
    encode::u32le(at(0x49), static_cast<std::uint32_t>(autoIncrement_));
    if (!extended) return h;

    encode::u16le(at(0x51), static_cast<std::uint16_t>(used));
    h[0x56] = 0x20;  // constant in 4.0+ .DB files
    const auto versionWord = static_cast<std::uint16_t>(0x0100 + version);
    encode::u16le(at(0x58), versionWord);
    encode::u16le(at(0x5A), versionWord);
    encode::u32le(at(0x5C), options_.scrambleKey);
    encode::u16le(at(0x64), static_cast<std::uint16_t>(fieldCount + 1));  // highest field id
    encode::u16le(at(0x66), static_cast<std::uint16_t>(fieldNumbers - 0x58));
    encode::u16le(at(0x6A), static_cast<std::uint16_t>(options_.codePage));
    // 0x6C..0x6F: 01 01 and a size that corpus tables and pxlib put at used - 0x61.
    h[0x6C] = 1;
    h[0x6D] = 1;
    encode::u16le(at(0x6E), static_cast<std::uint16_t>(used - 0x61));
    return h;
}

void Writer::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    file_.seekp(static_cast<std::streamoff>(offset));
    file_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file_) throw WriteError(path_.string() + ": cannot write at byte " + std::to_string(offset));
}

void Writer::fail(const Column& column, const std::string& what) const {
    throw WriteError(path_.string() + ": row " + std::to_string(rows_ + 1) + ", field \"" +
                     column.def.name + "\": " + what);
}

void Writer::encodeField(const Column& column, const driver::Value& value, std::uint8_t* out,
                         std::vector<PendingBlob>& blobs) {
    if (driver::isNull(value) && column.def.type != FieldType::AutoIncrement) return;  // all zeros
    auto wrongKind = [&column]() {
        return std::string("this kind of value does not go into a ") + typeName(column.def.type) + " field";
    };
    auto integerIn = [&](std::int64_t limit) {
        const auto v = wholeNumber(value);
        if (!v) fail(column, wrongKind());
        if (*v < -limit || *v > limit)
            fail(column, std::to_string(*v) + " is outside -" + std::to_string(limit) + ".." + std::to_string(limit));
        return *v;
    };
    auto date = [&](const driver::Date& d) {
        const auto day = encode::dayNumber(d);
        if (!day) fail(column, "date " + std::to_string(d.year) + "-" + std::to_string(d.month) + "-" +
                                   std::to_string(d.day) + " does not exist or is outside years 1..9999");
        return *day;
    };
    auto time = [&](const driver::Time& t) {
        if (t.milliseconds < 0 || t.milliseconds >= kMillisecondsPerDay)
            fail(column, "time of " + std::to_string(t.milliseconds) + " ms is outside one day");
        return t.milliseconds;
    };
    auto text = [&]() {
        const auto* s = std::get_if<std::string>(&value);
        if (!s) fail(column, wrongKind());
        auto bytes = text_->encode(*s);
        if (!bytes) fail(column, "the text is not UTF-8 or has characters code page " +
                                     std::to_string(options_.codePage) + " cannot hold");
        return std::move(*bytes);
    };

    switch (column.def.type) {
        case FieldType::Alpha: {
            const std::string bytes = text();
            if (bytes.find('\0') != std::string::npos) fail(column, "the text holds a NUL character");
            if (static_cast<int>(bytes.size()) > column.bytes)
                fail(column, "the text needs " + std::to_string(bytes.size()) + " bytes, the field holds " +
                                 std::to_string(column.bytes));
            std::copy(bytes.begin(), bytes.end(), out);
            return;
        }
        case FieldType::Short: return encode::integer(out, integerIn(0x7FFF), 2);
        case FieldType::Long: return encode::integer(out, integerIn(0x7FFF'FFFF), 4);
        case FieldType::AutoIncrement: {
            std::int64_t v = 0;
            if (driver::isNull(value)) {
                v = autoIncrement_ + 1;
                if (v > 0x7FFF'FFFF) fail(column, "the autoincrement counter is exhausted");
            } else {
                v = integerIn(0x7FFF'FFFF);
                if (v < 1) fail(column, "an autoincrement value is 1 or more");
            }
            encode::integer(out, v, 4);
            rowAutoIncrement_ = v;
            return;
        }
        case FieldType::Number:
        case FieldType::Money: {
            const auto v = realNumber(value, column.def.type == FieldType::Money);
            if (!v) fail(column, wrongKind());
            if (std::isnan(*v)) fail(column, "NaN cannot be stored");
            return encode::number(out, *v);
        }
        case FieldType::Date: {
            const auto* d = std::get_if<driver::Date>(&value);
            if (!d) fail(column, wrongKind());
            return encode::integer(out, date(*d), 4);
        }
        case FieldType::Time: {
            const auto* t = std::get_if<driver::Time>(&value);
            if (!t) fail(column, wrongKind());
            return encode::integer(out, time(*t), 4);
        }
        case FieldType::Timestamp: {
            const auto* ts = std::get_if<driver::Timestamp>(&value);
            if (!ts) fail(column, wrongKind());
            // Milliseconds on the date scale (0001-01-01 = day 1); exact in a double.
            return encode::number(out, static_cast<double>(date(ts->date) * kMillisecondsPerDay + time(ts->time)));
        }
        case FieldType::Logical: {
            const auto* b = std::get_if<bool>(&value);
            if (!b) fail(column, wrongKind());
            out[0] = *b ? 0x81 : 0x80;
            return;
        }
        case FieldType::Bcd: {
            std::string digits;
            if (const auto* d = std::get_if<driver::Decimal>(&value)) digits = d->text;
            else if (const auto i = wholeNumber(value)) digits = std::to_string(*i);
            else fail(column, wrongKind());
            if (!encode::bcd(out, digits, column.def.size))
                fail(column, "\"" + digits + "\" is not a decimal with at most " + std::to_string(column.def.size) +
                                 " decimals and 32 digits");
            return;
        }
        case FieldType::Bytes: {
            const auto* b = std::get_if<driver::Bytes>(&value);
            if (!b) fail(column, wrongKind());
            if (static_cast<int>(b->data.size()) > column.bytes)
                fail(column, std::to_string(b->data.size()) + " bytes do not fit a field of " + std::to_string(column.bytes));
            std::copy(b->data.begin(), b->data.end(), out);
            return;
        }
        case FieldType::Memo:
        case FieldType::Binary:
        case FieldType::FormattedMemo:
        case FieldType::Ole:
        case FieldType::Graphic: {
            std::string data;
            if (column.def.type == FieldType::Memo) {
                data = text();
            } else if (column.def.type == FieldType::FormattedMemo) {
                const std::string bytes = text();
                if (bytes.find('\0') != std::string::npos) fail(column, "the text holds a NUL character");
                if (bytes.empty()) return;  // NULL, as an empty memo
                data = encode::formattedMemo(bytes);
            } else if (column.def.type != FieldType::Binary) {
                const auto* b = std::get_if<driver::Bytes>(&value);
                if (!b) fail(column, wrongKind());
                data = encode::prefixedBlob(column.def.type == FieldType::Graphic ? 1 : 2, b->data);
            } else {
                const auto* b = std::get_if<driver::Bytes>(&value);
                if (!b) fail(column, wrongKind());
                data.assign(b->data.begin(), b->data.end());
            }
            if (data.size() > 0xFFFF'FFFFu) fail(column, "the value is longer than 4 GiB");
            if (!data.empty()) blobs.push_back({&column, std::move(data)});
            return;
        }
        default: fail(column, wrongKind());
    }
}

void Writer::addRow(const std::vector<driver::Value>& values) {
    if (finished_ || !file_.is_open()) throw WriteError(path_.string() + ": the table is already finished");
    if (values.size() != columns_.size())
        throw WriteError(path_.string() + ": row " + std::to_string(rows_ + 1) + " has " +
                         std::to_string(values.size()) + " values for " + std::to_string(columns_.size()) + " fields");
    if (recordsInBlock_ == recordsPerBlock_ && blockNumber_ >= kMaxBlocks)
        throw WriteError(path_.string() + ": the table is full (65,535 blocks); use a larger block size");

    std::fill(record_.begin(), record_.end(), 0);
    std::vector<PendingBlob> blobs;
    rowAutoIncrement_ = 0;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const Column& column = columns_[i];
        encodeField(column, values[i], &record_[static_cast<std::size_t>(column.offset)], blobs);
    }
    autoIncrement_ = std::max(autoIncrement_, rowAutoIncrement_);

    // Every value fitted: now the blobs, inline when they fit the leader.
    for (const PendingBlob& blob : blobs) {
        std::uint8_t* out = &record_[static_cast<std::size_t>(blob.column->offset)];
        const auto leader = static_cast<std::size_t>(blob.column->def.size);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(blob.data.data());
        std::copy(bytes, bytes + std::min(leader, blob.data.size()), out);
        std::uint32_t reference = 0;
        std::uint16_t modification = 0;
        if (blob.data.size() > leader) {
            modification = kBlobModification;
            reference = blobs_->store(bytes, blob.data.size(), modification);
        }
        encode::u32le(out + leader, reference);
        encode::u32le(out + leader + 4, static_cast<std::uint32_t>(blob.data.size()));
        encode::u16le(out + leader + 8, modification);
    }

    if (blockNumber_ == 0) blockNumber_ = 1;
    if (recordsInBlock_ == recordsPerBlock_) {
        flushBlock(false);
        ++blockNumber_;
        recordsInBlock_ = 0;
        std::fill(block_.begin(), block_.end(), 0);
    }
    std::copy(record_.begin(), record_.end(),
              block_.begin() + kBlockHeader + static_cast<std::ptrdiff_t>(recordsInBlock_) * recordSize_);
    ++recordsInBlock_;
    ++rows_;
}

void Writer::flushBlock(bool last) {
    // Block header: next block (0 = end of chain), previous block, bytes of
    // records less one record (format note, section 4.1).
    encode::u16le(&block_[0], static_cast<std::uint16_t>(last ? 0 : blockNumber_ + 1));
    encode::u16le(&block_[2], static_cast<std::uint16_t>(blockNumber_ - 1));
    encode::u16le(&block_[4], static_cast<std::uint16_t>((recordsInBlock_ - 1) * recordSize_));
    if (options_.scrambleKey != 0)
        Scrambler(options_.scrambleKey).dataBlock(block_.data(), block_.size(), static_cast<unsigned>(blockNumber_));
    writeAt(static_cast<std::uint64_t>(headerSize_) + static_cast<std::uint64_t>(blockNumber_ - 1) * blockSize_,
            block_.data(), block_.size());
}

void Writer::finish() {
    if (finished_) return;
    if (!file_.is_open()) throw WriteError(path_.string() + ": the table could not be written");
    try {
        if (recordsInBlock_ > 0) flushBlock(true);
        const auto head = header();
        writeAt(0, head.data(), head.size());
        file_.close();
        if (!file_) throw WriteError(path_.string() + ": cannot finish writing the file");
        if (blobs_) blobs_->finish();
        if (blobs_ && options_.scrambleKey != 0) Scrambler(options_.scrambleKey).blobFile(blobPath_);
    } catch (...) {
        removeFiles();
        throw;
    }
    finished_ = true;
}

}  // namespace paradoxwriter
