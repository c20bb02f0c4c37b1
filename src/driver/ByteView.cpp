#include "driver/ByteView.h"

#include "driver/Table.h"

#include <cstring>

namespace driver {

std::string ByteView::describe(std::size_t pos, std::string_view what) const {
    std::string text(file_);
    text += ": ";
    text += what;
    text += " at byte ";
    text += std::to_string(fileOffset_ + pos);
    return text;
}

void ByteView::fail(std::size_t pos, std::string_view what) const {
    throw ReadError(describe(pos, what));
}

void ByteView::require(std::size_t pos, std::size_t count, std::string_view what) const {
    if (!contains(pos, count)) {
        std::string message(what);
        message += " (needs ";
        message += std::to_string(count);
        message += " bytes, the data ends ";
        message += pos >= size_ ? "before it" : "after " + std::to_string(size_ - pos);
        message += ")";
        fail(pos, message);
    }
}

std::uint8_t ByteView::u8(std::size_t pos, std::string_view what) const {
    require(pos, 1, what);
    return data_[pos];
}

std::uint16_t ByteView::u16le(std::size_t pos, std::string_view what) const {
    require(pos, 2, what);
    return static_cast<std::uint16_t>(data_[pos] | (data_[pos + 1] << 8));
}

std::int16_t ByteView::s16le(std::size_t pos, std::string_view what) const {
    return static_cast<std::int16_t>(u16le(pos, what));
}

std::uint32_t ByteView::u32le(std::size_t pos, std::string_view what) const {
    require(pos, 4, what);
    return static_cast<std::uint32_t>(data_[pos]) | (static_cast<std::uint32_t>(data_[pos + 1]) << 8) |
           (static_cast<std::uint32_t>(data_[pos + 2]) << 16) |
           (static_cast<std::uint32_t>(data_[pos + 3]) << 24);
}

ByteView ByteView::sub(std::size_t pos, std::size_t count, std::string_view what) const {
    require(pos, count, what);
    return ByteView(data_ + pos, count, file_, fileOffset_ + pos);
}

std::string_view ByteView::cString(std::size_t pos, std::string_view what) const {
    require(pos, 1, what);
    const void* end = std::memchr(data_ + pos, 0, size_ - pos);
    if (!end) {
        std::string message(what);
        message += " has no terminating NUL before the end of the header";
        fail(pos, message);
    }
    return {reinterpret_cast<const char*>(data_ + pos),
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - (data_ + pos))};
}

}  // namespace driver
