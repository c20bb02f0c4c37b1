#pragma once
// Turns text in a table's code page into UTF-8 (through iconv).
//
// Bytes that glibc's table of a Windows code page (874, 1250-1258) leaves
// undefined come out as Windows' own conversion (MultiByteToWideChar) gives
// them, so that no byte of a table written on Windows is lost: 0x80-0x9F as
// the C1 control of the same number (1252's 0x81 is U+0081), the others as the
// character Windows gives them (the Unicode Consortium's WindowsBestFit
// tables, MBTABLE: mostly end-user-defined characters, U+F8xx). A byte or
// sequence that no table defines (some DOS pages, HP Roman-8's 0xFF, broken
// multi-byte sequences) becomes U+FFFD instead of failing.
//
// Every byte is decoded, NUL included: a memo keeps its text after an
// embedded NUL (as U+0000); only fixed-width Alpha fields end at their first
// NUL (decodeField), since that is their padding.

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace driver {

class TextDecoder {
public:
    // HP Roman-8 has no DOS/Windows number; IBM's CCSID for it stands in.
    static constexpr int kRoman8 = 1051;

    // The code page a table's text is in: the declared one when non-zero, else
    // the one its language driver implies (by name for 4.0+, else by the sort
    // order byte), else 437.
    static int codePageFor(int declared, std::uint8_t sortOrder, std::string_view sortName);

    // A decoder for `codePage`; a page iconv does not know falls back to 437
    // (see codePage() for the one actually used).
    explicit TextDecoder(int codePage);
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    int codePage() const { return codePage_; }

    // Appends the UTF-8 form of `bytes` to `out`. Thread-safe.
    void decode(const std::uint8_t* bytes, std::size_t size, std::string& out) const;
    // Appends the UTF-8 form of a NUL-padded field of `size` bytes: the text
    // before its first NUL (all of it when there is none). Thread-safe.
    void decodeField(const std::uint8_t* bytes, std::size_t size, std::string& out) const;
    std::string decode(const std::uint8_t* bytes, std::size_t size) const {
        std::string out;
        decode(bytes, size, out);
        return out;
    }

private:
    bool open(int codePage);
    // Appends the text of a field's first `length` bytes; `notAscii` when any is not ASCII.
    void finishField(const std::uint8_t* bytes, std::size_t length, bool notAscii, std::string& out) const;
    // Single-byte pages: appends `bytes` translated through table_.
    void translate(const std::uint8_t* bytes, std::size_t size, std::string& out) const;
    void decodeMultiByte(const std::uint8_t* bytes, std::size_t size, std::string& out) const;

    int codePage_ = 437;
    bool multiByte_ = false;
    // Single-byte pages: UTF-8 of every byte, precomputed once (up to 3 bytes + length).
    std::array<std::array<char, 4>, 256> table_{};
    // Multi-byte pages (936 and friends) go through iconv for every string.
    void* iconv_ = nullptr;
    mutable std::mutex iconvMutex_;
};

}  // namespace driver
