#pragma once
// A file opened read-only (never locked, never written) that is read by
// absolute offset. Safe to share between threads: reads use pread.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace driver {

class FileReader {
public:
    // Throws ReadError naming the file when it cannot be opened.
    explicit FileReader(const std::filesystem::path& path);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // The file name as used in every error message about this file.
    const std::string& name() const { return name_; }
    std::uint64_t size() const { return size_; }

    // Reads up to `count` bytes at `offset`; returns how many were there (fewer
    // only at the end of the file). Throws ReadError on an I/O error.
    std::size_t readAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t count) const;

private:
    std::string name_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace driver
