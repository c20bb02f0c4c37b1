#include "driver/TextDecoder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <iconv.h>

namespace driver {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

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
    for (int b = 0; b < 256; ++b) {
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
            std::copy_n(kReplacement, 3, entry.begin());
            entry[3] = 3;
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
    std::size_t i = 0;
    while (i < size) {
        // Copy a run of ASCII in one go, then translate one byte through the table.
        std::size_t run = i;
        while (run < size && bytes[run] < 0x80) ++run;
        out.append(reinterpret_cast<const char*>(bytes + i), run - i);
        if (run == size) break;
        const auto& entry = table_[bytes[run]];
        out.append(entry.data(), static_cast<std::size_t>(entry[3]));
        i = run + 1;
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
