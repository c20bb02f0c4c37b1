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

// Single bytes the Windows CJK pages define beyond glibc's tables (MBTABLE of
// bestfit932.txt and bestfit950.txt).
constexpr WindowsByte kWindowsMultiByteBytes[] = {
    {932, 0x80, 0x0080}, {932, 0xA0, 0xF8F0}, {932, 0xFD, 0xF8F1}, {932, 0xFE, 0xF8F2},
    {932, 0xFF, 0xF8F3}, {950, 0x80, 0x0080}, {950, 0xFF, 0xF8F8},
};

// The code point Windows gives a byte of `codePage` that iconv does not
// define, or 0 when Windows does not define it either (or is not the source).
std::uint16_t windowsCodePoint(int codePage, std::uint8_t byte) {
    for (const WindowsByte& w : kWindowsMultiByteBytes)
        if (w.codePage == codePage && w.byte == byte) return w.codePoint;
    if (codePage != 874 && (codePage < 1250 || codePage > 1258)) return 0;
    if (byte >= 0x80 && byte <= 0x9F) return byte;
    for (const WindowsByte& w : kWindowsBytes)
        if (w.codePage == codePage && w.byte == byte) return w.codePoint;
    return 0;
}

constexpr int kKnownCodePages[] = {437, 737, 775, 850, 852, 855, 857, 858, 860, 861, 862, 863, 864, 865, 866, 869,
                                   874, 932, 936, 949, 950, TextDecoder::kRoman8, 1250, 1251, 1252, 1253, 1254,
                                   1255, 1256, 1257, 1258};

// The one code point of UTF-8 `text` (1-3 bytes), or -1 when it is not exactly one.
long singleCodePoint(const char* text, std::size_t size) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (size == 1 && b(0) < 0x80) return b(0);
    if (size == 2 && (b(0) & 0xE0) == 0xC0) return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    if (size == 3 && (b(0) & 0xF0) == 0xE0) return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    return -1;
}

// UTF-8 of a code point of the Basic Multilingual Plane into `entry` (bytes, then length).
void putUtf8(std::uint16_t codePoint, std::array<char, 4>& entry) {
    if (codePoint < 0x80) {
        entry = {static_cast<char>(codePoint), 0, 0, 1};
    } else if (codePoint < 0x800) {
        entry = {static_cast<char>(0xC0 | (codePoint >> 6)), static_cast<char>(0x80 | (codePoint & 0x3F)), 0, 2};
    } else {
        entry = {static_cast<char>(0xE0 | (codePoint >> 12)), static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)),
                 static_cast<char>(0x80 | (codePoint & 0x3F)), 3};
    }
}

bool isMultiByte(int codePage) {
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

std::string iconvName(int codePage) {
    if (codePage == TextDecoder::kRoman8) return "HP-ROMAN8";
    return "CP" + std::to_string(codePage);
}

}  // namespace

const std::vector<int>& TextDecoder::knownCodePages() {
    static const std::vector<int> pages = [] {
        std::vector<int> sorted(std::begin(kKnownCodePages), std::end(kKnownCodePages));
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }();
    return pages;
}

bool TextDecoder::isKnown(int codePage) {
    const auto& pages = knownCodePages();
    return std::binary_search(pages.begin(), pages.end(), codePage);
}

std::string TextDecoder::knownCodePageList() {
    std::string list;
    for (int page : knownCodePages()) list += (list.empty() ? "" : ", ") + std::to_string(page);
    return list;
}

int TextDecoder::driverCodePage(std::uint8_t sortOrder, std::string_view sortName) {
    if (!sortName.empty()) {
        for (const Driver& d : kDrivers)
            if (sameName(sortName, d.name)) return d.codePage;
    } else {
        for (const Driver& d : kDrivers)
            if (d.sortOrder == sortOrder) return d.codePage;
    }
    return 0;
}

int TextDecoder::codePageFor(int declared, std::uint8_t sortOrder, std::string_view sortName) {
    if (declared != 0) return declared;
    const int implied = driverCodePage(sortOrder, sortName);
    return implied != 0 ? implied : 437;
}

TextDecoder::TextDecoder(int codePage) {
    if (!isKnown(codePage) || !open(codePage)) open(437);
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
    // Byte by byte, each followed by a flush: a converter that holds a
    // character back until it sees whether a combining mark follows gives it
    // up there. Anything but exactly one character is not a definition.
    for (int b = 0; b < 256; ++b) {
        auto& entry = table_[static_cast<std::size_t>(b)];
        char in = static_cast<char>(b);
        char* inPtr = &in;
        std::size_t inLeft = 1;
        char out[16];
        char* outPtr = out;
        std::size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const bool converted = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
                               inLeft == 0 &&
                               iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
        const std::size_t length = sizeof out - outLeft;
        if (converted && singleCodePoint(out, length) >= 0) {
            std::copy_n(out, length, entry.begin());
            entry[3] = static_cast<char>(length);
        } else if (const std::uint16_t windows = windowsCodePoint(codePage, static_cast<std::uint8_t>(b))) {
            putUtf8(windows, entry);
        } else {
            std::copy_n(kReplacement, 3, entry.begin());
            entry[3] = 3;
        }
    }
    asciiSame_ = true;
    for (int b = 0; b < 0x80; ++b) {
        const auto& entry = table_[static_cast<std::size_t>(b)];
        if (entry[3] != 1 || entry[0] != static_cast<char>(b)) asciiSame_ = false;
    }
    iconv_close(cd);
    return true;
}

void TextDecoder::decode(const std::uint8_t* bytes, std::size_t size, std::string& out) const {
    if (multiByte_) {
        decodeMultiByte(bytes, size, out);
        return;
    }
    if (!asciiSame_) {
        translate(bytes, size, out);
        return;
    }
    // ASCII is the same in UTF-8 and in this page: copy the leading run of it
    // in one go, eight bytes per test.
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
    else if (!notAscii && asciiSame_) out.append(reinterpret_cast<const char*>(bytes), length);
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
            // Invalid or cut-off sequence: the byte as Windows gives it alone,
            // else a mark; then on with the next byte.
            if (const std::uint16_t windows = windowsCodePoint(codePage_, static_cast<std::uint8_t>(*in))) {
                std::array<char, 4> entry;
                putUtf8(windows, entry);
                out.append(entry.data(), static_cast<std::size_t>(entry[3]));
            } else {
                out += kReplacement;
            }
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

}  // namespace driver
