#include "driver/TextDecoder.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace driver {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
// Eight bytes at a time: the top bit and the bottom bit of every byte.
constexpr std::uint64_t kHighBits = 0x8080'8080'8080'8080ull;
constexpr std::uint64_t kLowBits = 0x0101'0101'0101'0101ull;

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

struct Driver {
    std::uint8_t sortOrder;
    const char* name;
    int codePage;
};

// Language drivers and the code page they imply, after the code-page table of
// the format notes; "ascii" is used under 437 and 850 alike, 437 is the guess.
constexpr Driver kDrivers[] = {
    {0x00, "ascii", 437},    {0xB7, "intl", 437},       {0x54, "intl850", 850},
    {0xE6, "nordan40", 865}, {0x82, "nordan", 865},     {0xF0, "swedfin", 437},
    {0xC6, "turk", 857},     {0xC0, "cyrr", 866},       {0x03, "china", 936},
    {0x4C, "DBWINUS0", 1252}, {0x40, "DBWINWE0", 1252}, {0x62, "ANSIINTL", 1252},
    {0x11, "ANSII850", 1252}, {0x14, "BLROM800", TextDecoder::kRoman8},
};

// Windows' conversion of the bytes glibc leaves undefined in its code pages
// 874, 1253, 1255 and 1257, other than 0x80-0x9F (MBTABLE of bestfit874.txt,
// bestfit1253.txt, bestfit1255.txt and bestfit1257.txt of the WindowsBestFit tables).
struct WindowsByte {
    int codePage;
    std::uint8_t byte;
    std::uint16_t codePoint;
};
constexpr WindowsByte kWindowsBytes[] = {
    {874, 0xDB, 0xF8C1},  {874, 0xDC, 0xF8C2},  {874, 0xDD, 0xF8C3},  {874, 0xDE, 0xF8C4},
    {874, 0xFC, 0xF8C5},  {874, 0xFD, 0xF8C6},  {874, 0xFE, 0xF8C7},  {874, 0xFF, 0xF8C8},
    {1253, 0xAA, 0xF8F9}, {1253, 0xD2, 0xF8FA}, {1253, 0xFF, 0xF8FB},
    {1255, 0xCA, 0x05BA}, {1255, 0xD9, 0xF88D}, {1255, 0xDA, 0xF88E}, {1255, 0xDB, 0xF88F},
    {1255, 0xDC, 0xF890}, {1255, 0xDD, 0xF891}, {1255, 0xDE, 0xF892}, {1255, 0xDF, 0xF893},
    {1255, 0xFB, 0xF894}, {1255, 0xFC, 0xF895}, {1255, 0xFF, 0xF896},
    {1257, 0xA1, 0xF8FC}, {1257, 0xA5, 0xF8FD},
};

// The code point Windows gives a byte of `codePage` that iconv does not
// define, or 0 when Windows does not define it either (or is not the source).
std::uint16_t windowsCodePoint(int codePage, std::uint8_t byte) {
    if (codePage != 874 && (codePage < 1250 || codePage > 1258)) return 0;
    if (byte >= 0x80 && byte <= 0x9F) return byte;
    for (const WindowsByte& w : kWindowsBytes)
        if (w.codePage == codePage && w.byte == byte) return w.codePoint;
    return 0;
}

// UTF-8 of a code point of the Basic Multilingual Plane into `entry` (bytes, then length).
void putUtf8(std::uint16_t codePoint, std::array<char, 4>& entry) {
    if (codePoint < 0x800) {
        entry = {static_cast<char>(0xC0 | (codePoint >> 6)), static_cast<char>(0x80 | (codePoint & 0x3F)), 0, 2};
    } else {
        entry = {static_cast<char>(0xE0 | (codePoint >> 12)), static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)),
                 static_cast<char>(0x80 | (codePoint & 0x3F)), 3};
    }
}

bool isMultiByte(int codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 || codePage == 1361;
}

std::string iconvName(int codePage) {
    if (codePage == TextDecoder::kRoman8) return "HP-ROMAN8";
    return "CP" + std::to_string(codePage);
}

}  // namespace

int TextDecoder::codePageFor(int declared, std::uint8_t sortOrder, std::string_view sortName) {
    if (declared != 0) return declared;
    if (!sortName.empty()) {
        for (const Driver& d : kDrivers)
            if (sameName(sortName, d.name)) return d.codePage;
    } else {
        for (const Driver& d : kDrivers)
            if (d.sortOrder == sortOrder) return d.codePage;
    }
    return 437;
}

TextDecoder::TextDecoder(int codePage) {
    if (!open(codePage)) open(437);
}

TextDecoder::~TextDecoder() {
    if (iconv_) iconv_close(static_cast<iconv_t>(iconv_));
}

bool TextDecoder::open(int codePage) {
    const std::string name = iconvName(codePage);
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    codePage_ = codePage;
    multiByte_ = isMultiByte(codePage);
    if (multiByte_) {
        iconv_ = cd;
        return true;
    }
    // ASCII stays itself (decode() copies runs of it without the table).
    for (int b = 0; b < 0x80; ++b) table_[static_cast<std::size_t>(b)] = {static_cast<char>(b), 0, 0, 1};
    for (int b = 0x80; b < 256; ++b) {
        auto& entry = table_[static_cast<std::size_t>(b)];
        char in = static_cast<char>(b);
        char* inPtr = &in;
        std::size_t inLeft = 1;
        char out[8];
        char* outPtr = out;
        std::size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        const std::size_t length = sizeof out - outLeft;
        if (rc == static_cast<std::size_t>(-1) || inLeft != 0 || length == 0 || length > 3) {
            if (const std::uint16_t windows = windowsCodePoint(codePage, static_cast<std::uint8_t>(b))) {
                putUtf8(windows, entry);
            } else {
                std::copy_n(kReplacement, 3, entry.begin());
                entry[3] = 3;
            }
        } else {
            std::copy_n(out, length, entry.begin());
            entry[3] = static_cast<char>(length);
        }
    }
    iconv_close(cd);
    return true;
}

void TextDecoder::decode(const std::uint8_t* bytes, std::size_t size, std::string& out) const {
    if (multiByte_) {
        decodeMultiByte(bytes, size, out);
        return;
    }
    // ASCII is the same in UTF-8 and in every single-byte page we know: copy
    // the leading run of it in one go, eight bytes per test.
    std::size_t i = 0;
    while (i + 8 <= size) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        if (word & kHighBits) break;
        i += 8;
    }
    if (i + 8 > size && size >= 8 && i < size) {
        // The last few bytes: test the last eight (some seen already) at once.
        std::uint64_t word;
        std::memcpy(&word, bytes + size - 8, 8);
        if ((word & kHighBits) == 0) i = size;
    }
    while (i < size && bytes[i] < 0x80) ++i;
    out.append(reinterpret_cast<const char*>(bytes), i);
    if (i < size) translate(bytes + i, size - i, out);
}

void TextDecoder::decodeField(const std::uint8_t* bytes, std::size_t size, std::string& out) const {
    // Find the NUL a word at a time, noting on the way whether any byte
    // before it is not ASCII.
    std::size_t length = 0;
    std::uint64_t high = 0;
    while (length + 8 <= size) {
        std::uint64_t word;
        std::memcpy(&word, bytes + length, 8);
        // The lowest byte flagged here is the first NUL (a borrow only ever
        // flags bytes above a real zero).
        const std::uint64_t zeroBytes = (word - kLowBits) & ~word & kHighBits;
        if (zeroBytes == 0) {
            high |= word & kHighBits;
            length += 8;
            continue;
        }
        if constexpr (std::endian::native == std::endian::little) {
            // The word's first byte is its lowest: keep the bits below the NUL.
            const int nul = std::countr_zero(zeroBytes) / 8;
            high |= word & kHighBits & ((std::uint64_t{1} << (8 * nul)) - 1);
            return finishField(bytes, length + static_cast<std::size_t>(nul), high != 0, out);
        }
        break;
    }
    while (length < size && bytes[length] != 0) high |= bytes[length++] & 0x80u;
    finishField(bytes, length, high != 0, out);
}

void TextDecoder::finishField(const std::uint8_t* bytes, std::size_t length, bool notAscii, std::string& out) const {
    if (multiByte_) decodeMultiByte(bytes, length, out);
    else if (!notAscii) out.append(reinterpret_cast<const char*>(bytes), length);
    else translate(bytes, length, out);
}

void TextDecoder::translate(const std::uint8_t* bytes, std::size_t size, std::string& out) const {
    // At most 3 bytes each, plus one so an entry can be copied whole (its
    // length byte is overwritten by what comes next or left past the end).
    char buffer[769];
    while (size > 0) {
        const std::size_t count = std::min(size, (sizeof buffer - 1) / 3);
        char* to = buffer;
        for (std::size_t i = 0; i < count; ++i) {
            // ASCII has its own entries: no branch on the kind of byte.
            const auto& entry = table_[bytes[i]];
            std::memcpy(to, entry.data(), 4);
            to += entry[3];
        }
        out.append(buffer, static_cast<std::size_t>(to - buffer));
        bytes += count;
        size -= count;
    }
}

void TextDecoder::decodeMultiByte(const std::uint8_t* bytes, std::size_t size, std::string& out) const {
    std::lock_guard lock(iconvMutex_);
    auto cd = static_cast<iconv_t>(iconv_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
    std::size_t inLeft = size;
    char buffer[1024];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, sizeof buffer - outLeft);
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) continue;
            // Invalid or cut-off sequence: mark it and go on with the next byte.
            out += kReplacement;
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

}  // namespace driver
