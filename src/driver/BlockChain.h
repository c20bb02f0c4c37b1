#pragma once
// The table's data blocks in chain order, with the number of live records in
// each: two numbers per block, so random access by row number is a binary
// search and memory stays small whatever the table's size.
//
// Walking the chain never fails: damage (a loop, a link to a block outside the
// file, a file cut short) ends the walk and is kept as damage(); the rows
// before it stay readable.

#include <cstdint>
#include <optional>
#include <string>
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

    static BlockChain walk(const FileReader& file, const TableHeader& header,
                           const Descrambler* descrambler);

    const std::vector<Block>& blocks() const { return blocks_; }
    // Live records found along the chain (complete ones only).
    std::int64_t rows() const { return rows_; }
    // Empty when the chain is intact; else the ReadError text saying where it broke.
    const std::string& damage() const { return damage_; }

    // Index into blocks() of the block holding `row` (0 <= row < rows()).
    std::size_t blockOf(std::int64_t row) const;
    std::int64_t rowsIn(std::size_t index) const {
        return (index + 1 < blocks_.size() ? blocks_[index + 1].firstRow : rows_) - blocks_[index].firstRow;
    }

private:
    std::vector<Block> blocks_;
    std::int64_t rows_ = 0;
    std::string damage_;
};

}  // namespace driver
