#pragma once
// Writes the .MB file beside a table: a header block, then blobs appended in
// the order they are stored. Blobs up to kSmallBlobLimit bytes share 4 KiB
// sub-allocated blocks (type 3, up to 64 per block); longer ones get a block
// of their own (type 2). Memory use is one 4 KiB block, whatever the file size.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace paradoxwriter {

class BlobWriter {
public:
    // Longest blob that goes into a sub-allocated block. Corpus tables put
    // blobs of up to 2,027 bytes there and those of 2,046 and more in blocks
    // of their own; this is the 0x800 threshold of the .MB header, less one.
    static constexpr std::size_t kSmallBlobLimit = 2047;

    // Creates (truncates) `path` and writes the header block. Throws WriteError.
    explicit BlobWriter(std::filesystem::path path);

    // Stores `size` bytes (1 or more) and returns the reference a record
    // carries: the block's byte offset, its low byte the slot index (0xFF for
    // a single-blob block). Throws WriteError on an I/O failure or a file
    // beyond the 4 GiB the reference can address.
    std::uint32_t store(const std::uint8_t* data, std::size_t size, std::uint16_t modification);

    // Writes the pending sub-allocated block and closes the file. Throws WriteError.
    void finish();

    const std::filesystem::path& path() const { return path_; }

private:
    void flushSmallBlock();
    std::uint64_t reserve(std::uint64_t units);
    void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size);

    std::filesystem::path path_;
    std::ofstream file_;
    std::uint64_t units_ = 0;  // 4 KiB units in the file so far

    // The open sub-allocated block: its file offset (0 = none open), its
    // bytes, the next free slot (counting down from 63) and the next free chunk.
    std::uint64_t smallOffset_ = 0;
    std::vector<std::uint8_t> small_;
    int nextSlot_ = -1;
    unsigned nextChunk_ = 0;
};

}  // namespace paradoxwriter
