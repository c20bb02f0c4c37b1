#pragma once
// The table's data blocks in row order, with the number of live records in
// each: two numbers per block, so random access by row number is a binary
// search and memory stays small whatever the table's size.
//
// walk() follows the chain from the header's first block, then the list of
// free blocks, reading only block headers. When the header, the chain and the
// blocks all agree (the header's block size fits the file, and no other start
// of the blocks makes the file whole blocks with a chain as sound, every block links
// back to the one before it and lists a whole number of records that fit it,
// the chain ends at the header's last block and holds the header's record
// count, and every other block of the header's count is empty and on the free
// list) that is the table. Any
// disagreement hands the table to ChainRecovery, which reads every block
// header, mends what the file itself shows how to mend, and says what it
// found in damage(). Walking never fails: rows that cannot be found are
// reported there, not thrown.

#include "driver/BlockHead.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace driver {

class Descrambler;
class FileReader;
class TableHeader;

class BlockChain {
public:
    struct Block {
        std::uint16_t number;     // 1-based block number in the file
        std::int64_t firstRow;    // rows in the blocks before this one
    };

    static BlockChain walk(const FileReader& file, const TableHeader& header, const Descrambler* descrambler);

    const std::vector<Block>& blocks() const { return blocks_; }
    // The rows the table gives: complete records in the blocks above.
    std::int64_t rows() const { return rows_; }
    // Block size the blocks are read with: the header's, or the one that fits
    // the file when the header's block size code does not.
    std::uint64_t blockSize() const { return blockSize_; }
    // Where block 1 starts: the header's size, or where the file shows the
    // blocks start when the header's size does not fit it.
    std::uint64_t dataStart() const { return dataStart_; }
    // Empty when everything agrees; else one finding per line, each naming
    // the file, the block and byte, and what it means for the rows.
    const std::string& damage() const { return damage_; }
    // Whether the rows above may not be exactly the table's rows in its order
    // (some missing or extra, stale counts, blocks whose place is not known).
    // False when everything agrees, and when the damage found was mended from
    // what the file itself shows.
    bool rowsInDoubt() const { return rowsInDoubt_; }

    // Index into blocks() of the block holding `row` (0 <= row < rows()).
    std::size_t blockOf(std::int64_t row) const;
    std::int64_t rowsIn(std::size_t index) const {
        return (index + 1 < blocks_.size() ? blocks_[index + 1].firstRow : rows_) - blocks_[index].firstRow;
    }

private:
    friend class ChainRecovery;

    // The blocks reached from the header's first block along next links, with
    // their listed records, up to the first disagreement; `sound` when there
    // is none at all (see the top of this file).
    struct Walk {
        std::vector<std::pair<unsigned, std::int64_t>> blocks;
        bool sound = false;
        // Sound but for the file's length (more or fewer blocks than the header counts).
        bool chainSound = false;
    };
    static Walk follow(const FileReader& file, const TableHeader& header, const Descrambler* descrambler,
                       const BlockLayout& layout);
    // Where the blocks start when the header's size is off: right after the
    // field names (3.0), or the whole 2 KiB units nearest to the header's
    // size that hold the names (later versions); if that differs from
    // `layout`'s start and the file holds exactly the header's block count of
    // `layout`'s size from there.
    static std::optional<std::uint64_t> otherWholeStart(const TableHeader& header, const BlockLayout& layout);
    // Whether, with a sound walk at `layout` over bytes that are not whole
    // blocks, the chain is as sound from otherWholeStart(): then where the
    // blocks start is not certain.
    static bool otherStartAgrees(const FileReader& file, const TableHeader& header, const Descrambler* descrambler,
                                 const BlockLayout& layout);
    // The chain of `blocks` (number, records) in that order.
    static BlockChain make(const std::vector<std::pair<unsigned, std::int64_t>>& blocks, const BlockLayout& layout,
                           std::string damage, bool rowsInDoubt);

    std::vector<Block> blocks_;
    std::int64_t rows_ = 0;
    std::uint64_t blockSize_ = 0;
    std::uint64_t dataStart_ = 0;
    std::string damage_;
    bool rowsInDoubt_ = false;
};

}  // namespace driver
