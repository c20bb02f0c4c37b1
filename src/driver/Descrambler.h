#pragma once
// Reads tables protected by a Paradox password. The password only guards the
// engine's user interface: the 32-bit key that drives the scramble is stored
// in the header, so the data can be recovered without knowing the password.
//
// Data is scrambled in independent 256-byte chunks. Each chunk is permuted by
// a fixed 256-byte table shifted by a "position" parameter and every byte is
// XORed with three fixed tables indexed by position plus the two low key
// bytes. In .db files the parameters are the chunk's index inside its block
// and the low byte of the 1-based block number; in .mb files they derive from
// the key alone, so any 256-byte-aligned chunk can be recovered on its own.

#include <cstddef>
#include <cstdint>

namespace driver {

class Descrambler {
public:
    static constexpr std::size_t kChunkSize = 256;

    explicit Descrambler(std::uint32_t key) : key_(key) {}

    // Restores the complete 256-byte chunks at the start of a data block of
    // the .db file; a partial chunk at the end is left as it is.
    void dataBlock(std::uint8_t* bytes, std::size_t size, unsigned blockNumber) const;
    // Restores chunks of the .mb file; `bytes` must start on a 256-byte boundary.
    void blobChunks(std::uint8_t* bytes, std::size_t size) const;

private:
    static void chunk(std::uint8_t* bytes, std::uint8_t a, std::uint8_t b, std::uint8_t c,
                      std::uint8_t d);
    std::uint32_t key_;
};

}  // namespace driver
