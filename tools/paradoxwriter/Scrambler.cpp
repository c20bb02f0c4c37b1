#include "paradoxwriter/Scrambler.h"

#include "paradoxwriter/Writer.h"
#include "driver/ScrambleTables.h"

#include <algorithm>
#include <fstream>

namespace paradoxwriter {
using namespace driver::scramble;

void Scrambler::chunk(std::uint8_t* bytes, std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    std::uint8_t stored[kChunkSize];
    for (unsigned x = 0; x < kChunkSize; ++x) {
        // Byte x of the plain chunk is stored at position y.
        const unsigned y = (kMixC[x] - d) & 0xFFu;
        stored[y] = static_cast<std::uint8_t>(bytes[x] ^ kMixA[(x + a) & 0xFFu] ^ kMixB[(y + b) & 0xFFu] ^
                                              kMixC[(y + c) & 0xFFu]);
    }
    std::copy(stored, stored + kChunkSize, bytes);
}

void Scrambler::dataBlock(std::uint8_t* bytes, std::size_t size, unsigned blockNumber) const {
    const auto a = static_cast<std::uint8_t>(key_);
    const auto b = static_cast<std::uint8_t>(key_ >> 8);
    for (std::size_t i = 0; (i + 1) * kChunkSize <= size; ++i)
        chunk(bytes + i * kChunkSize, a, b, static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(blockNumber));
}

void Scrambler::blobFile(const std::filesystem::path& file) const {
    const auto a = static_cast<std::uint8_t>(key_);
    const auto b = static_cast<std::uint8_t>(key_ >> 8);
    std::fstream io(file, std::ios::binary | std::ios::in | std::ios::out);
    std::uint8_t bytes[kChunkSize];
    for (std::streamoff at = 0; io.seekg(at).read(reinterpret_cast<char*>(bytes), kChunkSize); at += kChunkSize) {
        chunk(bytes, a, b, static_cast<std::uint8_t>(a + 1), static_cast<std::uint8_t>(b + 1));
        io.seekp(at).write(reinterpret_cast<const char*>(bytes), kChunkSize);
    }
    if (!io.eof() || io.gcount() != 0) throw WriteError(file.string() + ": cannot scramble the file");
}

}  // namespace paradoxwriter
