#include "driver/BlobFile.h"

#include "driver/BlockHead.h"
#include "driver/ByteView.h"
#include "driver/Format.h"
#include "driver/Table.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace driver {
namespace {

using namespace format;
// The slot index of a reference to a single blob's block.
constexpr unsigned kSingleBlobSlot = 0xFF;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::optional<std::filesystem::path> BlobFile::find(const std::filesystem::path& tableFile) {
    std::error_code error;
    const std::filesystem::path folder = tableFile.has_parent_path() ? tableFile.parent_path() : ".";
    const std::string stem = tableFile.stem().string();
    for (const char* extension : {".MB", ".mb", ".Mb", ".mB"}) {
        std::filesystem::path candidate = folder / (stem + extension);
        if (std::filesystem::is_regular_file(candidate, error)) return candidate;
    }
    const std::string wanted = lower(stem + ".mb");
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (lower(it->path().filename().string()) == wanted && it->is_regular_file(error))
            return it->path();
    }
    return std::nullopt;
}

BlobFile::BlobFile(const std::filesystem::path& tableFile, std::uint32_t key) {
    if (key != 0) descrambler_.emplace(key);
    const auto path = find(tableFile);
    if (!path) {
        problem_ = tableFile.string() + ": the blob file " + tableFile.stem().string() +
                   ".MB is missing, so values longer than their record's leader cannot be read";
        return;
    }
    found_ = true;
    try {
        file_ = std::make_unique<FileReader>(*path);
        const auto head = readRange(0, 1, "blob file header");
        if (head[0] != kHeaderBlock)
            problem_ = file_->name() + ": not a Paradox blob file (first block has type " +
                       std::to_string(head[0]) + ", 0 expected, at byte 0)";
    } catch (const ReadError& error) {
        problem_ = error.what();
    }
    if (!problem_.empty()) file_.reset();
}

const char* BlobFile::problemInBrief() const {
    if (!found_) return "the blob file is missing";
    if (!file_) return "the blob file cannot be read";
    return "its blob is damaged";
}

void BlobFile::fail(std::uint64_t offset, const std::string& what) const {
    throw ReadError(file_->name() + ": " + what + " (at byte " + std::to_string(offset) + ")");
}

std::vector<std::uint8_t> BlobFile::readRange(std::uint64_t offset, std::size_t count,
                                              const char* what) const {
    if (offset > file_->size() || count > file_->size() - offset)
        fail(offset, std::string(what) + " of " + groupedNumber(static_cast<std::int64_t>(count)) +
                         " bytes runs past the end of the file (" + groupedNumber(static_cast<std::int64_t>(file_->size())) +
                         " bytes)");
    if (!descrambler_) {
        std::vector<std::uint8_t> bytes(count);
        if (file_->readAt(offset, bytes.data(), count) != count) fail(offset, "short read");
        return bytes;
    }
    // Scrambled: read whole 256-byte chunks around the range and restore them.
    const std::uint64_t first = offset / Descrambler::kChunkSize * Descrambler::kChunkSize;
    const std::uint64_t end = std::min<std::uint64_t>(
        file_->size(), (offset + count + Descrambler::kChunkSize - 1) / Descrambler::kChunkSize *
                           Descrambler::kChunkSize);
    std::vector<std::uint8_t> chunks(static_cast<std::size_t>(end - first));
    if (file_->readAt(first, chunks.data(), chunks.size()) != chunks.size()) fail(first, "short read");
    descrambler_->blobChunks(chunks.data(), chunks.size());
    if (offset + count > first + chunks.size() / Descrambler::kChunkSize * Descrambler::kChunkSize)
        fail(offset, std::string(what) + " ends in an incomplete scrambled chunk");
    const auto from = chunks.begin() + static_cast<std::ptrdiff_t>(offset - first);
    return std::vector<std::uint8_t>(from, from + static_cast<std::ptrdiff_t>(count));
}

std::vector<std::uint8_t> BlobFile::read(std::uint32_t reference, std::uint32_t length) const {
    if (!file_) throw ReadError(problem_);
    const unsigned slot = reference & 0xFF;
    const std::uint64_t block = reference & 0xFFFFFF00u;
    if (block == 0 || block % kBlobUnit != 0)
        fail(block, "blob reference " + std::to_string(reference) +
                        " does not point at a 4 KiB block after the header");

    if (slot == kSingleBlobSlot) {
        const auto head = readRange(block, kSingleBlobHeader, "blob block header");
        const ByteView view(head.data(), head.size(), file_->name(), block);
        const std::uint8_t type = view.u8(0, "block type");
        if (type != kSingleBlob)
            fail(block, "expected a single-blob block (type 2), found type " + std::to_string(type));
        const std::uint64_t units = view.u16le(1, "block length");
        const std::uint32_t stored = view.u32le(3, "blob length");
        if (stored != length)
            fail(block, "blob length " + groupedNumber(static_cast<std::int64_t>(stored)) + " differs from the record's " +
                            groupedNumber(static_cast<std::int64_t>(length)));
        if (kSingleBlobHeader + static_cast<std::uint64_t>(length) > units * kBlobUnit)
            fail(block, "blob of " + groupedNumber(static_cast<std::int64_t>(length)) + " bytes does not fit its block of " +
                            std::to_string(units) + " units");
        return readRange(block + kSingleBlobHeader, length, "blob data");
    }

    if (slot >= kSlots) fail(block, "blob slot " + std::to_string(slot) + " is outside 0..63");
    const auto unit = readRange(block, kBlobUnit, "sub-allocated blob block");
    const ByteView view(unit.data(), unit.size(), file_->name(), block);
    const std::uint8_t type = view.u8(0, "block type");
    if (type != kSubAllocated)
        fail(block, "expected a sub-allocated block (type 3), found type " + std::to_string(type));
    const std::size_t entry = kSlotTable + kSlotSize * slot;
    const std::size_t start = std::size_t{view.u8(entry, "slot offset")} * kChunk;
    const unsigned chunks = view.u8(entry + 1, "slot chunk count");
    const unsigned last = view.u8(entry + 4, "slot last chunk size");
    if (last == 0 || chunks == 0)
        fail(block, "blob slot " + std::to_string(slot) + " is free (the blob was deleted)");
    // A slot's chunks lie after the slots, and apart from every other slot in use.
    constexpr std::size_t kFirstChunk = kSlotTable + kSlots * kSlotSize;
    if (start < kFirstChunk)
        fail(block, "blob slot " + std::to_string(slot) + " points to byte " + std::to_string(start) +
                        " of its block, inside the block's header and slots");
    for (unsigned other = 0; other < kSlots; ++other) {
        const std::size_t at = kSlotTable + kSlotSize * other;
        const std::size_t from = std::size_t{unit[at]} * kChunk;
        if (other == slot || unit[at + 1] == 0 || unit[at + 4] == 0 || from < kFirstChunk) continue;
        if (from < start + chunks * kChunk && start < from + std::size_t{unit[at + 1]} * kChunk)
            fail(block, "blob slot " + std::to_string(slot) + " shares bytes of its block with slot " +
                            std::to_string(other));
    }
    const std::size_t stored = (chunks - 1) * kChunk + last;
    if (stored != length)
        fail(block, "blob slot " + std::to_string(slot) + " holds " + groupedNumber(static_cast<std::int64_t>(stored)) +
                        " bytes, the record claims " + groupedNumber(static_cast<std::int64_t>(length)));
    const ByteView data = view.sub(start, stored, "blob data of slot " + std::to_string(slot));
    return std::vector<std::uint8_t>(data.data(), data.data() + data.size());
}

}  // namespace driver
