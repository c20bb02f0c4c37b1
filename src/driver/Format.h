#pragma once
// Layout constants of Paradox tables (.db) and their blob files (.mb), shared
// by the reader and the table writer. Offsets and sizes in bytes.

#include <cstddef>
#include <cstdint>

namespace driver::format {

// .db header: the fixed part of every version ends at 0x58; 4.0+ data tables
// extend it to 0x78, where the field descriptors then start.
inline constexpr std::size_t kFixedHeaderEnd = 0x58;
inline constexpr std::size_t kExtendedHeaderEnd = 0x78;
// Marker at 0x25 of 4.0+ tables: their scramble key lives at 0x5C.
inline constexpr std::uint32_t kKeyMovedMarker = 0xFF00FF00;
// The table-name area after the field-name pointers: 79 bytes up to 5.x, 261 from 7.x.
inline constexpr int kTableNameShort = 79;
inline constexpr int kTableNameLong = 261;
// Every data block starts with next block, previous block and record bytes.
inline constexpr int kBlockHeaderSize = 6;
// A blob field ends in offset (long), length (long) and modification number (word).
inline constexpr int kBlobDescriptorSize = 10;
// BCD values always take 17 bytes; the descriptor gives the decimals, at most 32.
inline constexpr int kBcdSize = 17;
inline constexpr int kMaxBcdDecimals = 32;

// .mb: 4 KiB units; every block starts with its type (byte) and length in units (word).
inline constexpr std::uint64_t kBlobUnit = 4096;
inline constexpr std::uint8_t kHeaderBlock = 0;
inline constexpr std::uint8_t kSingleBlob = 2;
inline constexpr std::uint8_t kSubAllocated = 3;
// A single blob's block: type, units, blob length (long), modification number (word).
inline constexpr std::size_t kSingleBlobHeader = 9;
// A sub-allocated block: a 12-byte header, then 64 slots of 5 bytes at 12 + 5 × index
// (chunk offset ÷ 16, chunk count, modification word, bytes in the last chunk).
inline constexpr std::size_t kSlotTable = 12;
inline constexpr std::size_t kSlotSize = 5;
inline constexpr unsigned kSlots = 64;
inline constexpr unsigned kChunk = 16;

}  // namespace driver::format
