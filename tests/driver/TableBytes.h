#pragma once
// Builds Paradox .db files byte by byte for tests: a 7.x (or 3.x) header with
// the given fields, and data blocks chained 1, 2, 3 ... Tests then damage the
// bytes on purpose.

#include "driver/Value.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace driver::test {

using ByteVector = std::vector<std::uint8_t>;

struct FieldSpec {
    FieldType type;
    int size;  // descriptor byte (BCD: decimals)
    std::string name;
};

class TableBytes {
public:
    explicit TableBytes(std::vector<FieldSpec> fields, int version = 12, int blockKiB = 1);

    int recordSize() const { return recordSize_; }
    int headerSize() const { return headerSize_; }
    int blockSize() const { return blockKiB_ * 1024; }
    int recordsPerBlock() const { return (blockSize() - 6) / recordSize_; }

    // Adds a record (exactly recordSize bytes).
    void add(ByteVector record) { records_.push_back(std::move(record)); }
    // Header + blocks, records packed in order, each block full but the last.
    ByteVector build() const;

    // Value encodings as stored in a record.
    static ByteVector integer(std::int64_t value, int size);
    static ByteVector number(double value);
    static ByteVector text(const std::string& value, int size);

    // Offsets of block-header words inside build()'s output.
    std::size_t blockStart(int block) const {
        return static_cast<std::size_t>(headerSize_) + static_cast<std::size_t>(block - 1) * blockSize();
    }

private:
    std::vector<FieldSpec> fields_;
    int version_;
    int blockKiB_;
    int recordSize_ = 0;
    int headerSize_ = 0;
    std::vector<ByteVector> records_;
};

void writeFile(const std::filesystem::path& path, const ByteVector& bytes);
ByteVector readFile(const std::filesystem::path& path);
void putU16(ByteVector& bytes, std::size_t at, unsigned value);

// Where block `block` (1-based) of a table's bytes starts, by its header.
std::size_t blockAt(const ByteVector& table, int block);
// Deletes the rows of blocks `first` to the last of a table whose chain runs
// 1, 2, 3 ..., as Paradox leaves such blocks: they keep their old records but
// count none, link back to block 1, and form the list of free blocks; the
// chain and the header's count end before them. With `first` = 1, block 1
// stays as the empty chain and the free list starts at block 2.
void freeBlocks(ByteVector& table, int first);

}  // namespace driver::test
