#include "workbook/SheetNames.h"

#include <algorithm>
#include <locale>
#include <stdexcept>
#include <vector>

namespace workbook {
namespace {

// The characters of a UTF-8 text; a byte that starts no well-formed sequence is U+FFFD.
std::vector<char32_t> characters(std::string_view text) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
        const unsigned lead = byte(i);
        const std::size_t length = lead < 0x80    ? 1
                                   : lead > 0xF4  ? 0
                                   : lead >= 0xF0 ? 4
                                   : lead >= 0xE0 ? 3
                                   : lead >= 0xC2 ? 2
                                                  : 0;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        bool sound = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; sound && k < length; ++k) {
            sound = (byte(i + k) & 0xC0) == 0x80;
            code = code << 6 | (byte(i + k) & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are no characters.
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        sound = sound && code >= least[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        out.push_back(sound ? code : U'\uFFFD');
        i += sound ? length : 1;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
        return;
    }
    const int length = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    out += static_cast<char>((0xF00 >> length) | (code >> (6 * (length - 1))));
    for (int k = length - 2; k >= 0; --k) out += static_cast<char>(0x80 | ((code >> (6 * k)) & 0x3F));
}

// The name as Excel compares it: letters in one case (Unicode's lower case
// where the C.UTF-8 locale is there, else ASCII's).
std::string folded(const std::vector<char32_t>& name) {
    static const std::locale unicode = [] {
        try {
            return std::locale("C.UTF-8");
        } catch (const std::runtime_error&) {
            return std::locale::classic();
        }
    }();
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(unicode);
    std::string key;
    for (const char32_t c : name)
        appendUtf8(key, c < 0x80 ? static_cast<char32_t>(c >= 'A' && c <= 'Z' ? c + 32 : c)
                                 : static_cast<char32_t>(ctype.tolower(static_cast<wchar_t>(c))));
    return key;
}

// The first characters of name that fill at most `units` UTF-16 units.
std::vector<char32_t> cut(std::vector<char32_t> name, std::size_t units) {
    std::size_t used = 0, keep = 0;
    while (keep < name.size() && used + (name[keep] > 0xFFFF ? 2 : 1) <= units) used += name[keep++] > 0xFFFF ? 2 : 1;
    name.resize(keep);
    return name;
}

std::size_t unitsOf(const std::vector<char32_t>& name) {
    std::size_t units = 0;
    for (const char32_t c : name) units += c > 0xFFFF ? 2 : 1;
    return units;
}

}  // namespace

std::string SheetNames::take(std::string_view wanted, std::string_view suffix) {
    if (taken_.empty()) taken_.insert("history");
    std::vector<char32_t> base = characters(wanted);
    for (char32_t& c : base)
        if (c < 0x20 || c == 0x7F || std::u32string_view(U"[]:*?/\\").find(c) != std::u32string_view::npos) c = U'_';
    if (base.empty()) base = {U'S', U'h', U'e', U'e', U't'};
    for (int n = 1;; ++n) {
        std::vector<char32_t> ending = characters(suffix);
        if (n > 1) {
            const std::vector<char32_t> number = characters("-" + std::to_string(n));
            ending.insert(ending.end(), number.begin(), number.end());
        }
        std::vector<char32_t> name = cut(base, kMaxUnits - std::min(unitsOf(ending), kMaxUnits - 1));
        name.insert(name.end(), ending.begin(), ending.end());
        if (name.front() == U'\'') name.front() = U'_';
        if (name.back() == U'\'') name.back() = U'_';
        if (taken_.insert(folded(name)).second) {
            std::string text;
            for (const char32_t c : name) appendUtf8(text, c);
            return text;
        }
    }
}

}  // namespace workbook
