#pragma once
// The header of one data block, as the file stores it, and what it says about
// the block's records. Every data block starts with three little-endian words:
// the next block of its chain (0 = last), the previous block (0 = first) and
// addDataSize, the offset of its last record (bytes of records − recordSize).
// A live block lists (addDataSize / recordSize + 1) records; an empty block,
// and every block on the free list, gives −recordSize.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace driver {

class Descrambler;
class FileReader;
class TableHeader;

// Where a table's blocks lie for one block size.
struct BlockLayout {
    // Blocks of `blockSize` bytes from byte `dataStart` on: the header's sizes,
    // or the ones the file shows when the header's do not fit it.
    BlockLayout(const FileReader& file, const TableHeader& header, std::uint64_t blockSize, std::uint64_t dataStart);
    BlockLayout(const FileReader& file, const TableHeader& header, std::uint64_t blockSize);

    std::uint64_t start(unsigned number) const { return dataStart + (number - 1) * blockSize; }
    // "block 5 (byte 10240)": how every finding names a block.
    std::string where(unsigned number) const;

    std::uint64_t fileSize = 0;
    std::uint64_t dataStart = 0;   // where block 1 starts: right after the header
    std::uint64_t blockSize = 0;
    std::uint64_t blocksSpanned = 0;  // blocks the file's bytes after the header make, the last one perhaps partial
    unsigned blocksInFile = 0;     // the same, as block numbers go (words: at most 65535)
    int recordSize = 0;
    std::int64_t capacity = 0;     // records a block can hold

    // Whether the bytes after the header are a whole number of blocks.
    bool whole() const { return (fileSize - std::min(fileSize, dataStart)) % blockSize == 0; }
};

struct BlockHead {
    enum class Records {
        Listed,       // addDataSize is a whole number of records that fit the block
        Empty,        // addDataSize = −recordSize
        NotWhole,     // not a whole number of records
        BeyondBlock,  // more records than the block can hold
        Negative,     // negative, but not −recordSize
    };

    // Reads the header of block `number` with one read. `present` is false when
    // the file ends inside it (or, scrambled, inside its first 256 bytes).
    static BlockHead read(const FileReader& file, const BlockLayout& layout, const Descrambler* descrambler,
                          unsigned number);
    // Decodes the header from the block's first bytes (restored when scrambled);
    // `available` is how many bytes of the block the file holds.
    static BlockHead decode(const std::uint8_t* bytes, std::size_t available, const BlockLayout& layout,
                            bool scrambled);

    // Whether the record count is one to trust.
    bool certain() const { return kind == Records::Listed || kind == Records::Empty; }
    // The records to take from the block when nothing better is known: the
    // listed ones, or those the offset covers when it is not a whole number of
    // records; none when the offset is negative or beyond the block.
    std::int64_t records() const { return listed; }
    // "gives a last-record offset of 1840, which is not a whole number of 263-byte records"
    std::string describeCount(const BlockLayout& layout) const;

    bool present = false;
    unsigned next = 0;
    unsigned previous = 0;
    int addDataSize = 0;
    Records kind = Records::Empty;
    std::int64_t listed = 0;
    std::int64_t complete = 0;  // records wholly inside the file
};

// Block numbers as a reader reads them: "block 5", "blocks 6-34", "blocks 3, 7-9 and 12".
std::string blockList(std::vector<unsigned> numbers);
// "2,147,483,647": counts in findings, grouped by thousands.
std::string groupedNumber(std::int64_t number);

}  // namespace driver
