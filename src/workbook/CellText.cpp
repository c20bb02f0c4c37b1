#include "workbook/CellText.h"

#include <array>
#include <cstring>

namespace workbook {
namespace {

using Byte = unsigned char;

// Length of the well-formed UTF-8 sequence that starts at p (Unicode's
// table 3-7), or 0 when p does not start one.
std::size_t sequenceLength(const Byte* p, const Byte* end) {
    const Byte lead = p[0];
    if (lead < 0x80) return 1;
    const auto left = static_cast<std::size_t>(end - p);
    const auto continuation = [&](std::size_t i, Byte low = 0x80, Byte high = 0xBF) {
        return i < left && p[i] >= low && p[i] <= high;
    };
    if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const Byte low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
        return continuation(1, low, high) && continuation(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const Byte low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
        return continuation(1, low, high) && continuation(2) && continuation(3) ? 4 : 0;
    }
    return 0;
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// ASCII bytes escapeXmlText copies as they are.
constexpr std::array<bool, 256> kPlainXml = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; ++c) plain[static_cast<std::size_t>(c)] = true;
    plain['&'] = plain['<'] = plain['>'] = plain['_'] = false;
    plain['\t'] = plain['\n'] = true;
    return plain;
}();

bool isHex(Byte c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// Whether the character at p is written as "_xHHHH_".
bool writtenAsCode(const Byte* p, const Byte* end) {
    if (*p < 0x20) return *p != '\t' && *p != '\n';
    return end - p >= 3 && p[0] == 0xEF && p[1] == 0xBF && p[2] >= 0xBE;
}

// Whether the "_" at p would be read as the start of an escape: the text
// holds "_xHHHH" and the next character written begins with "_" (a "_" of
// the text, or a character written as "_xHHHH_").
bool isLiteralCode(const Byte* p, const Byte* end) {
    return end - p >= 7 && p[0] == '_' && p[1] == 'x' && isHex(p[2]) && isHex(p[3]) && isHex(p[4]) && isHex(p[5]) &&
           (p[6] == '_' || writtenAsCode(p + 6, end));
}

char* append(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

char* appendCode(char* out, unsigned code) {
    constexpr char kHex[] = "0123456789ABCDEF";
    out = append(out, "_x");
    for (int shift = 12; shift >= 0; shift -= 4) *out++ = kHex[(code >> shift) & 0xF];
    *out++ = '_';
    return out;
}

void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::size_t fittingTextBytes(std::string_view text, std::size_t maxUnits) {
    // Every UTF-16 unit takes at least one byte, so short texts always fit.
    if (text.size() <= maxUnits) return text.size();
    const auto* begin = reinterpret_cast<const Byte*>(text.data());
    const Byte* end = begin + text.size();
    const Byte* p = begin;
    std::size_t units = 0;
    while (p < end) {
        std::size_t length = sequenceLength(p, end);
        const std::size_t width = length == 4 ? 2 : 1;
        if (length == 0) length = 1;
        if (units + width > maxUnits) break;
        units += width;
        p += length;
    }
    return static_cast<std::size_t>(p - begin);
}

char* escapeXmlText(char* out, std::string_view text) {
    const auto* p = reinterpret_cast<const Byte*>(text.data());
    const Byte* end = p + text.size();
    while (p < end) {
        const Byte* run = p;
        while (p < end && kPlainXml[*p]) ++p;
        std::memcpy(out, run, static_cast<std::size_t>(p - run));
        out += p - run;
        if (p == end) break;
        const Byte c = *p;
        if (c < 0x80) {
            if (c == '&') out = append(out, "&amp;");
            else if (c == '<') out = append(out, "&lt;");
            else if (c == '>') out = append(out, "&gt;");
            else if (c == '_') out = append(out, isLiteralCode(p, end) ? "_x005F_" : "_");
            else out = appendCode(out, c);
            ++p;
            continue;
        }
        const std::size_t length = sequenceLength(p, end);
        if (length == 0) {
            out = append(out, kReplacement);
            ++p;
        } else if (length == 3 && c == 0xEF && p[1] == 0xBF && p[2] >= 0xBE) {
            out = appendCode(out, 0xFFC0u | (p[2] & 0x3Fu));
            p += 3;
        } else {
            std::memcpy(out, p, length);
            out += length;
            p += length;
        }
    }
    return out;
}

std::string unescapeXmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* begin = reinterpret_cast<const Byte*>(text.data());
    const Byte* end = begin + text.size();
    for (const Byte* p = begin; p < end;) {
        if (end - p >= 7 && p[0] == '_' && p[1] == 'x' && isHex(p[2]) && isHex(p[3]) && isHex(p[4]) && isHex(p[5]) &&
            p[6] == '_') {
            unsigned code = 0;
            for (int i = 2; i < 6; ++i) {
                const Byte h = p[i];
                code = code * 16 + static_cast<unsigned>(h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
            }
            appendUtf8(out, code);
            p += 7;
        } else {
            out += static_cast<char>(*p++);
        }
    }
    return out;
}

bool needsSpacePreserved(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    return !text.empty() && (isSpace(text.front()) || isSpace(text.back()));
}

void appendCsvField(std::string& out, std::string_view text) {
    bool quote = false, wellFormed = true;
    for (const char c : text) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n') quote = true;
        if (static_cast<Byte>(c) >= 0x80) wellFormed = false;
    }
    if (!wellFormed) {
        // Checked again sequence by sequence: non-ASCII text is rare enough.
        wellFormed = true;
        const auto* p = reinterpret_cast<const Byte*>(text.data());
        const Byte* end = p + text.size();
        while (p < end && wellFormed) {
            const std::size_t length = sequenceLength(p, end);
            wellFormed = length != 0;
            p += length;
        }
    }
    if (quote) out += '"';
    if (wellFormed && !quote) {
        out += text;
    } else {
        const auto* p = reinterpret_cast<const Byte*>(text.data());
        const Byte* end = p + text.size();
        while (p < end) {
            const std::size_t length = sequenceLength(p, end);
            if (length == 0) {
                out += kReplacement;
                ++p;
                continue;
            }
            if (*p == '"') out += '"';
            out.append(reinterpret_cast<const char*>(p), length);
            p += length;
        }
    }
    if (quote) out += '"';
}

}  // namespace workbook
