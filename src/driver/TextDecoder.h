#pragma once
// Turns text in a table's code page into UTF-8 (through iconv).
//
// The reader knows a fixed list of code pages (knownCodePages()); each decodes
// every byte as the mapping tables Unicode and the vendors publish say (the
// tests check all 256 bytes of each against such a reference). A single-byte
// page is decoded through a 256-entry table made once from iconv, one byte at
// a time with the converter flushed after each, so that converters that hold
// a character back to combine it with the next (glibc's CP1255 and CP1258)
// give every byte its own character.
//
// Bytes that glibc's table of a Windows code page (874, 1250-1258) leaves
// undefined come out as Windows' own conversion (MultiByteToWideChar) gives
// them, so that no byte of a table written on Windows is lost: 0x80-0x9F as
// the C1 control of the same number (1252's 0x81 is U+0081), the others as the
// character Windows gives them (the Unicode Consortium's WindowsBestFit
// tables, MBTABLE: mostly end-user-defined characters, U+F8xx); so do the
// single bytes Windows defines in 932 and 950 beyond glibc's tables. A byte or
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
#include <vector>

namespace driver {

class TextDecoder {
public:
    // HP Roman-8 has no DOS/Windows number; IBM's CCSID for it stands in.
    static constexpr int kRoman8 = 1051;

    // The code pages the reader decodes, ascending: DOS (437 ... 869), Windows
    // (874, 1250-1258), the CJK pages 932, 936, 949 and 950, and HP Roman-8.
    static const std::vector<int>& knownCodePages();
    static bool isKnown(int codePage);
    // The known pages as text: "437, 737, ..., 1258".
    static std::string knownCodePageList();

    // The code page a table's text is in: the declared one when non-zero, else
    // the one its language driver implies (by name for 4.0+, else by the sort
    // order byte), else 437.
    static int codePageFor(int declared, std::uint8_t sortOrder, std::string_view sortName);
    // The code page the language driver implies, 0 when it implies none.
    static int driverCodePage(std::uint8_t sortOrder, std::string_view sortName);

    // A decoder for `codePage`; a page that is not known falls back to 437
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
    // Whether bytes 0x00-0x7F are ASCII (all pages but 864, whose 0x25 is
    // ARABIC PERCENT SIGN): then runs of them are copied without the table.
    bool asciiSame_ = true;
    // Single-byte pages: UTF-8 of every byte, precomputed once (up to 3 bytes + length).
    std::array<std::array<char, 4>, 256> table_{};
    // Multi-byte pages (936 and friends) go through iconv for every string.
    void* iconv_ = nullptr;
    mutable std::mutex iconvMutex_;
};

}  // namespace driver
