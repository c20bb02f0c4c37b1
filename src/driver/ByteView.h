#pragma once
// A bounds-checked, read-only window onto bytes that came from a file.
//
// Every accessor checks that the bytes it needs are inside the view and throws
// ReadError otherwise; the message carries the file name and the absolute
// byte offset in that file, so callers never need to check lengths themselves.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace driver {

class ByteView {
public:
    // `fileOffset` is where data[0] sits in `file`; it only feeds error messages.
    ByteView(const std::uint8_t* data, std::size_t size, std::string_view file,
             std::uint64_t fileOffset = 0)
        : data_(data), size_(size), file_(file), fileOffset_(fileOffset) {}

    std::size_t size() const { return size_; }
    const std::uint8_t* data() const { return data_; }
    std::uint64_t fileOffset() const { return fileOffset_; }
    std::string_view file() const { return file_; }
    bool contains(std::size_t pos, std::size_t count) const {
        return pos <= size_ && count <= size_ - pos;
    }

    // Little-endian: header words and block bookkeeping.
    std::uint8_t u8(std::size_t pos, std::string_view what) const;
    std::uint16_t u16le(std::size_t pos, std::string_view what) const;
    std::int16_t s16le(std::size_t pos, std::string_view what) const;
    std::uint32_t u32le(std::size_t pos, std::string_view what) const;

    // The sub-range [pos, pos + count).
    ByteView sub(std::size_t pos, std::size_t count, std::string_view what) const;
    // A NUL-terminated string starting at pos; the terminator must lie inside the view.
    std::string_view cString(std::size_t pos, std::string_view what) const;

    // "<file>: <what> at byte <absolute offset>"; used for every error about this view.
    std::string describe(std::size_t pos, std::string_view what) const;
    [[noreturn]] void fail(std::size_t pos, std::string_view what) const;

private:
    void require(std::size_t pos, std::size_t count, std::string_view what) const;

    const std::uint8_t* data_;
    std::size_t size_;
    std::string_view file_;
    std::uint64_t fileOffset_;
};

}  // namespace driver
