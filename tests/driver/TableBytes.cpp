#include "TableBytes.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace driver::test {

void putU16(ByteVector& bytes, std::size_t at, unsigned value) {
    bytes.at(at) = static_cast<std::uint8_t>(value & 0xFF);
    bytes.at(at + 1) = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

namespace {

void putU32(ByteVector& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

int storedSize(const FieldSpec& f) { return f.type == FieldType::Bcd ? 17 : f.size; }

}  // namespace

TableBytes::TableBytes(std::vector<FieldSpec> fields, int version, int blockKiB)
    : fields_(std::move(fields)), version_(version), blockKiB_(blockKiB) {
    for (const auto& f : fields_) recordSize_ += storedSize(f);
    headerSize_ = 2048;
}

ByteVector TableBytes::integer(std::int64_t value, int size) {
    ByteVector out(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) out[static_cast<std::size_t>(size - 1 - i)] = static_cast<std::uint8_t>(value >> (8 * i));
    out[0] ^= 0x80;
    return out;
}

ByteVector TableBytes::number(double value) {
    std::uint64_t raw = std::bit_cast<std::uint64_t>(value);
    raw = (raw & 0x8000'0000'0000'0000ull) ? ~raw : raw | 0x8000'0000'0000'0000ull;
    ByteVector out(8);
    for (int i = 0; i < 8; ++i) out[static_cast<std::size_t>(7 - i)] = static_cast<std::uint8_t>(raw >> (8 * i));
    return out;
}

ByteVector TableBytes::text(const std::string& value, int size) {
    ByteVector out(static_cast<std::size_t>(size), 0);
    std::memcpy(out.data(), value.data(), std::min<std::size_t>(value.size(), out.size()));
    return out;
}

ByteVector TableBytes::build() const {
    const bool extended = version_ >= 5;
    const int perBlock = recordsPerBlock();
    const int blocks = records_.empty() ? 0 : static_cast<int>((records_.size() + perBlock - 1) / perBlock);
    ByteVector out(static_cast<std::size_t>(headerSize_) + static_cast<std::size_t>(blocks) * blockSize(), 0);
    putU16(out, 0x00, static_cast<unsigned>(recordSize_));
    putU16(out, 0x02, static_cast<unsigned>(headerSize_));
    out[0x04] = 2;
    out[0x05] = static_cast<std::uint8_t>(blockKiB_);
    putU32(out, 0x06, static_cast<std::uint32_t>(records_.size()));
    putU16(out, 0x0A, static_cast<unsigned>(blocks));
    putU16(out, 0x0C, static_cast<unsigned>(blocks));
    putU16(out, 0x0E, blocks ? 1u : 0u);
    putU16(out, 0x10, static_cast<unsigned>(blocks));
    putU16(out, 0x21, static_cast<unsigned>(fields_.size()));
    out[0x29] = 0x4C;
    out[0x39] = static_cast<std::uint8_t>(version_);
    std::size_t at = 0x58;
    if (extended) {
        putU16(out, 0x58, 0x0100u + static_cast<unsigned>(version_));
        putU16(out, 0x5A, 0x0100u + static_cast<unsigned>(version_));
        putU16(out, 0x6A, 1252);
        at = 0x78;
    }
    for (const auto& f : fields_) {
        out[at++] = static_cast<std::uint8_t>(f.type);
        out[at++] = static_cast<std::uint8_t>(f.size);
    }
    at += 4 + 4 * fields_.size() + (version_ >= 12 ? 261 : 79);
    for (const auto& f : fields_) {
        std::memcpy(out.data() + at, f.name.data(), f.name.size());
        at += f.name.size() + 1;
    }
    if (extended) {
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            putU16(out, at, static_cast<unsigned>(i + 1));
            at += 2;
        }
        std::memcpy(out.data() + at, "DBWINUS0", 9);
    }
    for (int b = 1; b <= blocks; ++b) {
        const std::size_t start = blockStart(b);
        const std::size_t first = static_cast<std::size_t>((b - 1) * perBlock);
        const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(perBlock), records_.size() - first);
        putU16(out, start, b < blocks ? static_cast<unsigned>(b + 1) : 0u);
        putU16(out, start + 2, static_cast<unsigned>(b - 1));
        putU16(out, start + 4, static_cast<unsigned>(static_cast<int>(count) * recordSize_ - recordSize_));
        for (std::size_t r = 0; r < count; ++r) {
            const ByteVector& record = records_[first + r];
            if (record.size() != static_cast<std::size_t>(recordSize_)) throw std::logic_error("record size");
            std::memcpy(out.data() + start + 6 + r * static_cast<std::size_t>(recordSize_), record.data(), record.size());
        }
    }
    return out;
}

std::size_t blockAt(const ByteVector& table, int block) {
    const std::size_t headerSize = table.at(2) | static_cast<std::size_t>(table.at(3)) << 8;
    return headerSize + static_cast<std::size_t>(block - 1) * table.at(5) * 1024;
}

void freeBlocks(ByteVector& table, int first) {
    const unsigned recordSize = table.at(0) | static_cast<unsigned>(table.at(1)) << 8;
    const int blocks = table.at(0x0C) | table.at(0x0D) << 8;
    std::uint32_t rows = 0;
    for (int b = 1; b < first; ++b) {
        const auto bytes = static_cast<std::int16_t>(table.at(blockAt(table, b) + 4) | table.at(blockAt(table, b) + 5) << 8);
        rows += bytes >= 0 ? static_cast<unsigned>(bytes) / recordSize + 1 : 0;
    }
    const int lastLive = std::max(first - 1, 1);
    putU32(table, 0x06, rows);
    putU16(table, 0x10, static_cast<unsigned>(lastLive));
    putU16(table, blockAt(table, lastLive), 0);
    if (first == 1) putU16(table, blockAt(table, 1) + 4, 0x10000u - recordSize);
    const int firstFree = std::max(first, 2);
    putU16(table, 0x4D, firstFree <= blocks ? static_cast<unsigned>(firstFree) : 0u);
    for (int b = firstFree; b <= blocks; ++b) {
        putU16(table, blockAt(table, b), b < blocks ? static_cast<unsigned>(b + 1) : 0u);
        putU16(table, blockAt(table, b) + 2, 1);
        putU16(table, blockAt(table, b) + 4, 0x10000u - recordSize);
    }
}

ByteVector readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteVector((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const ByteVector& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace driver::test
