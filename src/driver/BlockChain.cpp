#include "driver/BlockChain.h"

#include "driver/ByteView.h"
#include "driver/Descrambler.h"
#include "driver/FileReader.h"
#include "driver/Format.h"
#include "driver/TableHeader.h"

#include <algorithm>
#include <cstring>

namespace driver {
namespace {

// Data block header: next block (word, 0 = end), previous block (word),
// addDataSize (short) = bytes of records - recordSize; negative = empty.
constexpr std::size_t kBlockHeader = format::kBlockHeaderSize;
// Bytes of the file read at a time while walking the chain.
constexpr std::size_t kWindowBytes = 1024 * 1024;

}  // namespace

BlockChain BlockChain::walk(const FileReader& file, const TableHeader& header,
                            const Descrambler* descrambler) {
    BlockChain chain;
    const std::uint64_t dataStart = static_cast<std::uint64_t>(header.headerSize);
    const std::uint64_t blockSize = static_cast<std::uint64_t>(header.blockSize);
    const std::uint64_t dataBytes = file.size() > dataStart ? file.size() - dataStart : 0;
    // Block numbers are words, so this is at most 65535.
    const std::uint64_t blocksInFile = std::min<std::uint64_t>((dataBytes + blockSize - 1) / blockSize, 0xFFFF);
    const std::int64_t capacity = static_cast<std::int64_t>((blockSize - kBlockHeader) / header.recordSize);
    const std::string& name = file.name();

    std::vector<bool> seen(blocksInFile + 1, false);
    // Scrambled blocks can only be restored in whole 256-byte chunks.
    std::vector<std::uint8_t> head(descrambler ? Descrambler::kChunkSize : kBlockHeader);
    FileReader::Window window;
    std::size_t windows = 0, visited = 0;
    unsigned previous = 0;
    unsigned number = static_cast<unsigned>(header.firstBlock);
    auto where = [&](unsigned block) {
        return " (block " + std::to_string(block) + " at byte " +
               std::to_string(dataStart + (block - 1) * blockSize) + ")";
    };
    while (number != 0) {
        if (number > blocksInFile) {
            const std::string link = previous ? "block " + std::to_string(previous) + " links to block "
                                              : "the header's first block is block ";
            chain.damage_ = name + ": " + link + std::to_string(number) + ", but the file holds only " +
                            std::to_string(blocksInFile) + " blocks" +
                            (number <= static_cast<unsigned>(header.fileBlocks)
                                 ? " (the file is cut short)"
                                 : "");
            break;
        }
        if (seen[number]) {
            chain.damage_ = name + ": the block chain loops: block " + std::to_string(previous) +
                            " links back to block " + std::to_string(number) + where(number);
            break;
        }
        seen[number] = true;
        const std::uint64_t start = dataStart + (number - 1) * blockSize;
        const std::size_t available = static_cast<std::size_t>(std::min(blockSize, file.size() - start));
        const std::size_t want = std::min(head.size(), available);
        // Block headers come from a window of the file read around them: a
        // read call per block costs more than the rest of the walk. A chain
        // that jumps around the file (keyed tables) gets little from each
        // window, so after a few such windows the rest of it is read block by block.
        if (!window.holds(start, want) && windows * 8 <= visited + 64) {
            // Read ahead of the block, or behind it when the chain runs backwards.
            const bool backwards = previous != 0 && number < previous;
            const std::uint64_t from =
                !backwards ? start : start + want > kWindowBytes ? start + want - kWindowBytes : 0;
            file.read(window, from, kWindowBytes);
            ++windows;
        }
        ++visited;
        std::size_t got;
        if (window.holds(start, want)) {
            std::memcpy(head.data(), window.data() + (start - window.offset()), want);
            got = want;
        } else {
            got = file.readAt(start, head.data(), want);
        }
        if (got < head.size()) {
            chain.damage_ = name + ": the file ends inside the header of block " +
                            std::to_string(number) + where(number);
            break;
        }
        if (descrambler) descrambler->dataBlock(head.data(), head.size(), number);
        const ByteView view(head.data(), head.size(), name, start);
        const unsigned next = view.u16le(0, "next block");
        const std::int16_t addDataSize = view.s16le(4, "record bytes");
        std::int64_t count = addDataSize < 0 ? 0 : addDataSize / header.recordSize + 1;
        // A count beyond what the block can hold is bogus: take no records from it.
        if (count > capacity) count = 0;

        // Records that are wholly inside the file (scrambled: inside whole chunks).
        std::size_t usable = available;
        if (descrambler) usable = usable / Descrambler::kChunkSize * Descrambler::kChunkSize;
        const std::int64_t complete =
            usable < kBlockHeader ? 0 : static_cast<std::int64_t>((usable - kBlockHeader) / header.recordSize);
        chain.blocks_.push_back({static_cast<std::uint16_t>(number), chain.rows_});
        if (count > complete) {
            chain.rows_ += complete;
            chain.damage_ = name + ": the file ends at byte " + std::to_string(file.size()) +
                            ", inside record " + std::to_string(complete + 1) + " of the " +
                            std::to_string(count) + " in block " + std::to_string(number) +
                            where(number);
            break;
        }
        chain.rows_ += count;
        previous = number;
        number = next;
    }
    return chain;
}

std::size_t BlockChain::blockOf(std::int64_t row) const {
    const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), row,
                                        [](std::int64_t r, const Block& b) { return r < b.firstRow; });
    // Empty blocks share a firstRow with the next one; upper_bound lands past all of them.
    return static_cast<std::size_t>(after - blocks_.begin()) - 1;
}

}  // namespace driver
