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

    // A read-only memory map of bytes [offset, offset + size) of the file,
    // unmapped when it goes. For looking at small pieces spread over a large
    // range (block headers) without a read call for each. Accessing it after
    // the file has been cut short kills the process (SIGBUS), so hold one only
    // briefly and prefer readAt for the data itself.
    class Mapping {
    public:
        Mapping() = default;
        Mapping(Mapping&& other) noexcept;
        Mapping& operator=(Mapping&& other) noexcept;
        ~Mapping();
        // Null when the map failed (the caller then reads instead).
        const std::uint8_t* data() const { return data_; }
        std::uint64_t offset() const { return offset_; }
        std::size_t size() const { return size_; }
        bool holds(std::uint64_t offset, std::size_t count) const {
            return data_ && offset >= offset_ && offset - offset_ <= size_ && count <= size_ - (offset - offset_);
        }

    private:
        friend class FileReader;
        void release();
        const std::uint8_t* data_ = nullptr;
        void* base_ = nullptr;  // page-aligned start of the map
        std::size_t length_ = 0;
        std::uint64_t offset_ = 0;
        std::size_t size_ = 0;
    };
    // Maps up to `count` bytes at `offset`, no further than the end of the file
    // as it was at open; an empty Mapping when that fails or there is nothing.
    Mapping map(std::uint64_t offset, std::size_t count) const;

private:
    std::string name_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace driver
