#pragma once
// A file opened read-only (never locked, never written) that is read by
// absolute offset. Safe to share between threads: reads use pread.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace driver {

class FileReader {
public:
    // Throws ReadError naming the file when it cannot be opened or is not a
    // regular file (a link to one is fine). Never blocks: a FIFO is refused
    // at once.
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

    // A copy of bytes [offset, offset + size) of the file, read in one call.
    // For looking at small pieces spread over a large range (block headers)
    // without a read call for each. A copy rather than a memory map, so that
    // a file cut short by another program meanwhile is an error, not a crash.
    class Window {
    public:
        const std::uint8_t* data() const { return bytes_.data(); }
        std::uint64_t offset() const { return offset_; }
        std::size_t size() const { return bytes_.size(); }
        bool holds(std::uint64_t offset, std::size_t count) const {
            return !bytes_.empty() && offset >= offset_ && offset - offset_ <= bytes_.size() &&
                   count <= bytes_.size() - (offset - offset_);
        }

    private:
        friend class FileReader;
        std::vector<std::uint8_t> bytes_;
        std::uint64_t offset_ = 0;
    };
    // Reads up to `count` bytes at `offset` into `window`, reusing its storage;
    // fewer at the end of the file (as long as it was when opened). Throws
    // ReadError on an I/O error.
    void read(Window& window, std::uint64_t offset, std::size_t count) const;

private:
    std::string name_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace driver
