// libFuzzer target for the workbook writer's texts. For any bytes:
// escapeXmlText gives character data XML 1.0 accepts, which a reader (XML
// parser, then "_xHHHH_" decoding as Excel does) turns back into the text,
// malformed UTF-8 read as U+FFFD; appendCsvField gives a field an RFC 4180
// reader turns back into the same; fittingTextBytes cuts at a character
// boundary, as long as fits and no longer.

#include "workbook/CellText.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// The code point at text[i] and its length, decoded from the bits (not
// from the writer's table); -1 when no well-formed sequence starts there.
long decode(std::string_view text, std::size_t i, std::size_t& length) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    length = 1;
    if (lead < 0x80) return lead;
    std::size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (n == 0 || lead >= 0xF8 || i + n > text.size()) return -1;
    long code = lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return -1;
        code = code << 6 | (byte(i + k) & 0x3F);
    }
    static const long smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return -1;
    length = n;
    return code;
}

std::string wellFormed(std::string_view text) {
    std::string out;
    for (std::size_t i = 0, n = 0; i < text.size(); i += n)
        out += decode(text, i, n) < 0 ? std::string_view("\xEF\xBF\xBD") : text.substr(i, n);
    return out;
}

void require(bool condition) {
    if (!condition) std::abort();
}

std::string parseXml(std::string_view xml) {
    std::string out;
    for (std::size_t i = 0; i < xml.size(); ++i) {
        if (xml[i] != '&') {
            out += xml[i];
            continue;
        }
        if (xml.substr(i, 5) == "&amp;") out += '&', i += 4;
        else if (xml.substr(i, 4) == "&lt;") out += '<', i += 3;
        else if (xml.substr(i, 4) == "&gt;") out += '>', i += 3;
        else require(false);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::string xml(workbook::maxXmlTextSize(size), '\0');
    xml.resize(static_cast<std::size_t>(workbook::escapeXmlText(xml.data(), text) - xml.data()));
    // Well-formed UTF-8 of characters XML 1.0 allows.
    for (std::size_t i = 0, n = 0; i < xml.size(); i += n) {
        const long code = decode(xml, i, n);
        require(code >= 0 && code != '<' && code != 0xFFFE && code != 0xFFFF);
        require(code >= 0x20 || code == '\t' || code == '\n');
    }
    require(workbook::unescapeXmlText(parseXml(xml)) == wellFormed(text));

    std::string csv;
    workbook::appendCsvField(csv, text);
    if (!csv.empty() && csv.front() == '"') {
        require(csv.size() >= 2 && csv.back() == '"');
        std::string field;
        for (std::size_t i = 1; i + 1 < csv.size(); ++i) {
            if (csv[i] == '"') require(csv[++i] == '"');
            field += csv[i];
        }
        require(field == wellFormed(text));
    } else {
        require(csv.find_first_of(",\"\r\n") == std::string::npos && csv == wellFormed(text));
    }

    // A cut at a character boundary that fits, and no shorter than it must be.
    const std::size_t units = size == 0 ? 0 : data[0] % 64;
    const std::size_t fits = workbook::fittingTextBytes(text, units);
    std::size_t used = 0, i = 0, n = 0;
    for (; i < fits; i += n) used += decode(text, i, n) >= 0x10000 ? 2 : 1;
    require(i == fits && used <= units);
    if (fits < size) require(used + (decode(text, fits, n) >= 0x10000 ? 2 : 1) > units);
    return 0;
}
