#pragma once
// A zip archive (with zip64 where a member needs it) written with minizip
// into an OutputFile. Members are written one at a time, either compressed
// by minizip from a buffer or as raw deflate data compressed elsewhere.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace workbook {

class OutputFile;

class ZipArchive {
public:
    // Throws std::runtime_error naming the file when minizip cannot start.
    explicit ZipArchive(OutputFile& file);
    // An archive not closed is dropped (its file is the caller's to discard).
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // A member compressed by minizip at `level`.
    void add(const std::string& name, std::string_view data, int level);
    // A member of raw deflate data: open, write, then close with the size
    // and CRC-32 of the data before compression. zip64 makes room for a
    // member of 4 GiB or more (whose size is not known when it starts).
    void openRaw(const std::string& name, int level, bool zip64);
    void writeRaw(const char* data, std::size_t size);
    void closeRaw(std::uint64_t size, std::uint32_t crc);
    // Writes the central directory. Throws naming the file and the cause.
    void close();

private:
    void check(int result, const char* what);

    OutputFile& file_;
    void* zip_ = nullptr;
};

}  // namespace workbook
