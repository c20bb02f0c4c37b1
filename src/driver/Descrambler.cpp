#include "driver/Descrambler.h"

#include "driver/ScrambleTables.h"

#include <cstring>

namespace driver {
using namespace scramble;

void Descrambler::chunk(std::uint8_t* bytes, std::uint8_t a, std::uint8_t b, std::uint8_t c,
                        std::uint8_t d) {
    std::uint8_t plain[kChunkSize];
    for (unsigned x = 0; x < kChunkSize; ++x) {
        // Byte x of the plain chunk was stored at position y.
        const unsigned y = (kMixC[x] - d) & 0xFFu;
        plain[x] = static_cast<std::uint8_t>(bytes[y] ^ kMixA[(x + a) & 0xFFu] ^
                                             kMixB[(y + b) & 0xFFu] ^ kMixC[(y + c) & 0xFFu]);
    }
    std::memcpy(bytes, plain, kChunkSize);
}

void Descrambler::dataBlock(std::uint8_t* bytes, std::size_t size, unsigned blockNumber) const {
    const auto a = static_cast<std::uint8_t>(key_ & 0xFF);
    const auto b = static_cast<std::uint8_t>((key_ >> 8) & 0xFF);
    for (std::size_t i = 0; (i + 1) * kChunkSize <= size; ++i)
        chunk(bytes + i * kChunkSize, a, b, static_cast<std::uint8_t>(i),
              static_cast<std::uint8_t>(blockNumber & 0xFF));
}

void Descrambler::blobChunks(std::uint8_t* bytes, std::size_t size) const {
    const auto a = static_cast<std::uint8_t>(key_ & 0xFF);
    const auto b = static_cast<std::uint8_t>((key_ >> 8) & 0xFF);
    for (std::size_t i = 0; (i + 1) * kChunkSize <= size; ++i)
        chunk(bytes + i * kChunkSize, a, b, static_cast<std::uint8_t>(a + 1),
              static_cast<std::uint8_t>(b + 1));
}

}  // namespace driver
