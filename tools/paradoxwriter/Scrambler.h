#pragma once
// Scrambles a table as Paradox does when a password protects it: 256-byte
// chunks, each permuted and XORed with three fixed tables, driven by the two
// low bytes of the key and, in the .db file, by the chunk's place in its block
// and the block number; in the .mb file by the key alone.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace paradoxwriter {

class Scrambler {
public:
    static constexpr std::size_t kChunkSize = 256;

    explicit Scrambler(std::uint32_t key) : key_(key) {}

    // Scrambles the complete chunks of data block `blockNumber` (1-based).
    void dataBlock(std::uint8_t* bytes, std::size_t size, unsigned blockNumber) const;
    // Scrambles a whole .mb file in place, chunk by chunk. Throws WriteError.
    void blobFile(const std::filesystem::path& file) const;

private:
    static void chunk(std::uint8_t* bytes, std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
    std::uint32_t key_;
};

}  // namespace paradoxwriter
