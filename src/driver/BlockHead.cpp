#include "driver/BlockHead.h"

#include "driver/ByteView.h"
#include "driver/Descrambler.h"
#include "driver/FileReader.h"
#include "driver/Format.h"
#include "driver/TableHeader.h"

#include <algorithm>

namespace driver {
namespace {

constexpr std::size_t kBlockHeader = format::kBlockHeaderSize;

}  // namespace

BlockLayout::BlockLayout(const FileReader& file, const TableHeader& header, std::uint64_t size)
    : BlockLayout(file, header, size, static_cast<std::uint64_t>(header.headerSize)) {}

BlockLayout::BlockLayout(const FileReader& file, const TableHeader& header, std::uint64_t size, std::uint64_t start)
    : fileSize(file.size()),
      dataStart(start),
      blockSize(size),
      recordSize(header.recordSize),
      capacity(static_cast<std::int64_t>((size - kBlockHeader) / static_cast<std::uint64_t>(header.recordSize))) {
    const std::uint64_t dataBytes = fileSize > dataStart ? fileSize - dataStart : 0;
    blocksSpanned = (dataBytes + blockSize - 1) / blockSize;
    blocksInFile = static_cast<unsigned>(std::min<std::uint64_t>(blocksSpanned, 0xFFFF));
}

std::string BlockLayout::where(unsigned number) const {
    return "block " + std::to_string(number) + " (byte " + std::to_string(start(number)) + ")";
}

BlockHead BlockHead::read(const FileReader& file, const BlockLayout& layout, const Descrambler* descrambler,
                          unsigned number) {
    // Scrambled blocks can only be restored in whole 256-byte chunks.
    std::uint8_t bytes[Descrambler::kChunkSize];
    const std::size_t want = descrambler ? Descrambler::kChunkSize : kBlockHeader;
    const std::uint64_t start = layout.start(number);
    const std::uint64_t available = start < layout.fileSize ? std::min(layout.blockSize, layout.fileSize - start) : 0;
    const std::size_t got = file.readAt(start, bytes, static_cast<std::size_t>(std::min<std::uint64_t>(want, available)));
    if (descrambler && got == want) descrambler->dataBlock(bytes, got, number);
    return decode(bytes, got < want ? got : static_cast<std::size_t>(available), layout, descrambler != nullptr);
}

BlockHead BlockHead::decode(const std::uint8_t* bytes, std::size_t available, const BlockLayout& layout,
                            bool scrambled) {
    BlockHead head;
    const std::size_t need = scrambled ? Descrambler::kChunkSize : kBlockHeader;
    if (available < need) return head;
    head.present = true;
    const ByteView view(bytes, kBlockHeader, "");
    head.next = view.u16le(0, "next block");
    head.previous = view.u16le(2, "previous block");
    head.addDataSize = view.s16le(4, "record bytes");

    // Records wholly inside the file (scrambled: inside whole chunks).
    std::size_t usable = available;
    if (scrambled) usable = usable / Descrambler::kChunkSize * Descrambler::kChunkSize;
    head.complete = static_cast<std::int64_t>((usable - kBlockHeader) / static_cast<std::size_t>(layout.recordSize));

    const int size = layout.recordSize;
    if (head.addDataSize == -size) {
        head.kind = Records::Empty;
    } else if (head.addDataSize < 0) {
        head.kind = Records::Negative;
    } else if (head.addDataSize / size + 1 > layout.capacity) {
        head.kind = Records::BeyondBlock;
    } else {
        head.listed = head.addDataSize / size + 1;
        head.kind = head.addDataSize % size == 0 ? Records::Listed : Records::NotWhole;
    }
    return head;
}

std::string BlockHead::describeCount(const BlockLayout& layout) const {
    const std::string offset = "gives a last-record offset of " + std::to_string(addDataSize);
    const std::string size = std::to_string(layout.recordSize);
    switch (kind) {
        case Records::NotWhole: return offset + ", which is not a whole number of " + size + "-byte records";
        case Records::BeyondBlock:
            return offset + ", beyond its " + groupedNumber(static_cast<std::int64_t>(layout.blockSize)) + " bytes (room for " +
                   groupedNumber(layout.capacity) + " records of " + size + " bytes)";
        case Records::Negative: return offset + " (an empty block gives -" + size + ")";
        case Records::Listed:
        case Records::Empty: break;
    }
    return offset;
}

std::string groupedNumber(std::int64_t number) {
    const std::string digits = std::to_string(number);
    const std::size_t first = number < 0 ? 1 : 0;
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > first && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

std::string blockList(std::vector<unsigned> numbers) {
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<std::string> runs;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        std::string run = std::to_string(numbers[i]);
        if (j > i) {
            run += '-';
            run += std::to_string(numbers[j]);
        }
        runs.push_back(std::move(run));
        i = j + 1;
    }
    std::string text = numbers.size() == 1 ? "block " : "blocks ";
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (i > 0) text += i + 1 == runs.size() ? " and " : ", ";
        text += runs[i];
    }
    return text;
}

}  // namespace driver
