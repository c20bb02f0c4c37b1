#include "paradoxwriter/BlobWriter.h"

#include "driver/Format.h"
#include "paradoxwriter/Encode.h"
#include "paradoxwriter/Writer.h"

#include <algorithm>

namespace paradoxwriter {
namespace {

using namespace driver::format;
// Sub-allocated slots are handed out from 63 down; data starts at 0x150.
constexpr unsigned kFirstChunk = 0x150 / kChunk;
constexpr unsigned kChunksPerUnit = kBlobUnit / kChunk;
constexpr std::uint64_t kMaxUnitsPerBlob = 0xFFFF;
// A reference keeps the offset in its upper 24 bits of a 32-bit long.
constexpr std::uint64_t kMaxOffset = 0xFFFFF000u;

// Header block: type 0, one unit, modification counter 1, then bytes every
// corpus .MB header carries (5..9 are the known constant 82 73 02 00 29; the
// words at 0x0B..0x14 read as 4 KiB base, 16-byte chunks, 64 slots and the
// 0x800 small-blob threshold; A1 02 at 0x29 has no known meaning).
constexpr std::uint8_t kHeaderStart[] = {
    0x00, 0x01, 0x00, 0x01, 0x00, 0x82, 0x73, 0x02, 0x00, 0x29, 0x00, 0x00, 0x10, 0x00,
    0x10, 0x00, 0x10, 0x40, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA1, 0x02};

}  // namespace

BlobWriter::BlobWriter(std::filesystem::path path)
    : path_(std::move(path)), file_(path_, std::ios::binary | std::ios::trunc) {
    if (!file_) throw WriteError(path_.string() + ": cannot create the blob file");
    std::vector<std::uint8_t> header(kBlobUnit, 0);
    std::copy(std::begin(kHeaderStart), std::end(kHeaderStart), header.begin());
    writeAt(reserve(1), header.data(), header.size());
}

std::uint64_t BlobWriter::reserve(std::uint64_t units) {
    const std::uint64_t offset = units_ * kBlobUnit;
    if (offset > kMaxOffset)
        throw WriteError(path_.string() + ": the blob file would grow past the 4 GiB a reference can address");
    units_ += units;
    return offset;
}

void BlobWriter::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    file_.seekp(static_cast<std::streamoff>(offset));
    file_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file_) throw WriteError(path_.string() + ": cannot write at byte " + std::to_string(offset));
}

std::uint32_t BlobWriter::store(const std::uint8_t* data, std::size_t size, std::uint16_t modification) {
    if (size == 0) throw WriteError(path_.string() + ": an empty blob is stored as NULL, not in the blob file");
    if (size <= kSmallBlobLimit) {
        const unsigned chunks = static_cast<unsigned>((size + kChunk - 1) / kChunk);
        if (smallOffset_ != 0 && (nextSlot_ < 0 || nextChunk_ + chunks > kChunksPerUnit))
            flushSmallBlock();
        if (smallOffset_ == 0) {
            // Reserve the unit now so single blobs stored meanwhile go after it.
            smallOffset_ = reserve(1);
            small_.assign(kBlobUnit, 0);
            small_[0] = kSubAllocated;
            encode::u16le(&small_[1], 1);
            writeAt(smallOffset_, small_.data(), small_.size());
            nextSlot_ = kSlots - 1;
            nextChunk_ = kFirstChunk;
        }
        const int slot = nextSlot_--;
        std::uint8_t* entry = &small_[kSlotTable + kSlotSize * static_cast<std::size_t>(slot)];
        entry[0] = static_cast<std::uint8_t>(nextChunk_);
        entry[1] = static_cast<std::uint8_t>(chunks);
        encode::u16le(entry + 2, modification);
        entry[4] = static_cast<std::uint8_t>(size - (chunks - 1) * kChunk);
        std::copy(data, data + size, small_.begin() + nextChunk_ * kChunk);
        nextChunk_ += chunks;
        return static_cast<std::uint32_t>(smallOffset_) | static_cast<std::uint32_t>(slot);
    }

    const std::uint64_t units = (kSingleBlobHeader + size + kBlobUnit - 1) / kBlobUnit;
    if (units > kMaxUnitsPerBlob)
        throw WriteError(path_.string() + ": a blob of " + std::to_string(size) +
                         " bytes is longer than one block of the blob file can hold");
    const std::uint64_t offset = reserve(units);
    std::uint8_t head[kSingleBlobHeader] = {kSingleBlob};
    encode::u16le(head + 1, static_cast<std::uint16_t>(units));
    encode::u32le(head + 3, static_cast<std::uint32_t>(size));
    encode::u16le(head + 7, modification);
    writeAt(offset, head, sizeof head);
    writeAt(offset + kSingleBlobHeader, data, size);
    // Pad the block to whole units.
    const std::vector<std::uint8_t> padding(units * kBlobUnit - kSingleBlobHeader - size, 0);
    if (!padding.empty()) writeAt(offset + kSingleBlobHeader + size, padding.data(), padding.size());
    return static_cast<std::uint32_t>(offset) | 0xFFu;
}

void BlobWriter::flushSmallBlock() {
    writeAt(smallOffset_, small_.data(), small_.size());
    smallOffset_ = 0;
}

void BlobWriter::finish() {
    if (smallOffset_ != 0) flushSmallBlock();
    file_.close();
    if (!file_) throw WriteError(path_.string() + ": cannot finish writing the blob file");
}

}  // namespace paradoxwriter
