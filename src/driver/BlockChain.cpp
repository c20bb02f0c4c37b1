#include "driver/BlockChain.h"

#include "driver/ChainRecovery.h"
#include "driver/Descrambler.h"
#include "driver/FileReader.h"
#include "driver/Format.h"
#include "driver/TableHeader.h"

#include <algorithm>
#include <cstring>

namespace driver {
namespace {

constexpr std::size_t kBlockHeader = format::kBlockHeaderSize;
// Bytes of the file read at a time while walking the chain.
constexpr std::size_t kWindowBytes = 1024 * 1024;
// Headers of 3.5 and later tables fill whole units of this size; a 3.0
// header ends right after its field names.
constexpr std::uint64_t kHeaderUnit = 2048;
constexpr int kVersion30 = 3;

}  // namespace

BlockChain BlockChain::walk(const FileReader& file, const TableHeader& header, const Descrambler* descrambler) {
    const BlockLayout layout(file, header, static_cast<std::uint64_t>(header.blockSize));
    const Walk walk = follow(file, header, descrambler, layout);
    if (walk.sound && !header.needsRebuild && !otherStartAgrees(file, header, descrambler, layout))
        return make(walk.blocks, layout, {}, false);
    return ChainRecovery(file, header, descrambler).run();
}

std::optional<std::uint64_t> BlockChain::otherWholeStart(const TableHeader& header, const BlockLayout& layout) {
    // A 3.0 header ends with its names; later ones fill whole 2 KiB units.
    std::uint64_t start = header.usedEnd;
    if (header.version > kVersion30) {
        const std::uint64_t size = static_cast<std::uint64_t>(header.headerSize);
        start = (size + kHeaderUnit / 2) / kHeaderUnit * kHeaderUnit;
        if (start < header.usedEnd) start = (header.usedEnd + kHeaderUnit - 1) / kHeaderUnit * kHeaderUnit;
    }
    if (start == layout.dataStart || start > layout.fileSize ||
        layout.fileSize - start != static_cast<std::uint64_t>(header.fileBlocks) * layout.blockSize)
        return std::nullopt;
    return start;
}

bool BlockChain::otherStartAgrees(const FileReader& file, const TableHeader& header, const Descrambler* descrambler,
                                  const BlockLayout& layout) {
    // A file cut short inside its last block, or a header size a little too
    // large: the blocks may start earlier. One block header decides in nearly
    // every case, read before the chain is walked from there; a header size
    // as the format writes it needs neither.
    if (layout.whole()) return false;
    const auto start = otherWholeStart(header, layout);
    if (!start || header.firstBlock == 0) return false;
    const BlockLayout other(file, header, layout.blockSize, *start);
    const auto first = static_cast<unsigned>(header.firstBlock);
    if (first > other.blocksInFile) return false;
    const BlockHead head = BlockHead::read(file, other, descrambler, first);
    if (!head.present || !head.certain() || head.previous != 0 || head.listed > head.complete ||
        (head.next == 0) != (header.firstBlock == header.lastBlock))
        return false;
    return follow(file, header, descrambler, other).sound;
}

BlockChain::Walk BlockChain::follow(const FileReader& file, const TableHeader& header,
                                    const Descrambler* descrambler, const BlockLayout& layout) {
    Walk walk;
    std::vector<bool> seen(layout.blocksInFile + 1, false);
    // Scrambled blocks can only be restored in whole 256-byte chunks.
    std::vector<std::uint8_t> head(descrambler ? Descrambler::kChunkSize : kBlockHeader);
    FileReader::Window window;
    std::size_t windows = 0, visited = 0;
    // The header of block `number`, reached from block `previous` (0: none).
    auto read = [&](unsigned number, unsigned previous) {
        const std::uint64_t start = layout.start(number);
        const std::size_t available = static_cast<std::size_t>(std::min(layout.blockSize, layout.fileSize - start));
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
        if (descrambler && got == head.size()) descrambler->dataBlock(head.data(), got, number);
        return BlockHead::decode(head.data(), got < head.size() ? got : available, layout, descrambler != nullptr);
    };

    std::int64_t rows = 0;
    unsigned previous = 0;
    unsigned number = static_cast<unsigned>(header.firstBlock);
    bool agrees = true;
    while (number != 0) {
        if (number > layout.blocksInFile || seen[number]) {
            agrees = false;
            break;
        }
        seen[number] = true;
        const BlockHead block = read(number, previous);
        if (!block.present || !block.certain() || block.previous != previous || block.listed > block.complete) {
            agrees = false;
            break;
        }
        walk.blocks.emplace_back(number, block.listed);
        rows += block.listed;
        previous = number;
        number = block.next;
    }
    agrees = agrees && previous == static_cast<unsigned>(header.lastBlock) &&
             rows == static_cast<std::int64_t>(header.numRecords);

    // Every other block is on the free list, empty: none lies outside both.
    std::size_t freeBlocks = 0;
    unsigned before = 0;
    number = static_cast<unsigned>(header.firstFreeBlock);
    while (agrees && number != 0) {
        if (number > layout.blocksInFile || seen[number]) {
            agrees = false;
            break;
        }
        seen[number] = true;
        const BlockHead block = read(number, before);
        if (!block.present || block.kind != BlockHead::Records::Empty) agrees = false;
        ++freeBlocks;
        before = number;
        number = block.next;
    }
    walk.chainSound = agrees && walk.blocks.size() + freeBlocks == static_cast<std::size_t>(header.fileBlocks);
    walk.sound = walk.chainSound && layout.blocksSpanned == static_cast<std::uint64_t>(header.fileBlocks);
    return walk;
}

BlockChain BlockChain::make(const std::vector<std::pair<unsigned, std::int64_t>>& blocks, const BlockLayout& layout,
                            std::string damage, bool rowsInDoubt) {
    BlockChain chain;
    chain.blocks_.reserve(blocks.size());
    for (const auto& [number, records] : blocks) {
        chain.blocks_.push_back({static_cast<std::uint16_t>(number), chain.rows_});
        chain.rows_ += records;
    }
    chain.blockSize_ = layout.blockSize;
    chain.dataStart_ = layout.dataStart;
    chain.damage_ = std::move(damage);
    chain.rowsInDoubt_ = rowsInDoubt;
    return chain;
}

std::size_t BlockChain::blockOf(std::int64_t row) const {
    const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), row,
                                        [](std::int64_t r, const Block& b) { return r < b.firstRow; });
    // Empty blocks share a firstRow with the next one; upper_bound lands past all of them.
    return static_cast<std::size_t>(after - blocks_.begin()) - 1;
}

}  // namespace driver
