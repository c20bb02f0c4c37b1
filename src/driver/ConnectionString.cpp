#include "driver/ConnectionString.h"

#include <algorithm>
#include <array>
#include <system_error>

namespace driver {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// 1-based position of the character that starts at byte `offset` (UTF-8
// continuation bytes do not count as characters of their own).
std::size_t characterPosition(std::string_view text, std::size_t offset) {
    return 1 + std::count_if(text.begin(), text.begin() + std::min(offset, text.size()),
                             [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
}

[[noreturn]] void fail(std::string_view text, std::size_t offset, const std::string& what) {
    throw ConnectionError("Connection string: " + what + " at character " +
                          std::to_string(characterPosition(text, offset)) + ".");
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::vector<ConnectionAttribute> parseConnectionString(std::string_view text) {
    std::vector<ConnectionAttribute> attributes;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t pairStart = i;
        const std::size_t equals = text.find_first_of("=;", i);
        if (equals == std::string_view::npos || text[equals] == ';') {
            const std::size_t end = equals == std::string_view::npos ? text.size() : equals;
            const std::string_view key = trimBlanks(text.substr(i, end - i));
            if (!key.empty()) fail(text, end, "expected \"=\" after \"" + std::string(key) + "\"");
            i = end + 1;  // an empty pair
            continue;
        }
        const std::string_view key = trimBlanks(text.substr(i, equals - i));
        if (key.empty()) fail(text, pairStart, "expected a key before \"=\"");

        std::string value;
        i = equals + 1;
        if (i < text.size() && text[i] == '{') {
            const std::size_t open = i++;
            for (;;) {
                if (i >= text.size()) fail(text, open, "the \"{\" has no closing \"}\"");
                if (text[i] == '}') {
                    if (i + 1 < text.size() && text[i + 1] == '}') {
                        value += '}';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i++];
            }
            while (i < text.size() && isBlank(text[i])) ++i;
            if (i < text.size() && text[i] != ';') fail(text, i, "expected \";\" after the closing \"}\"");
        } else {
            const std::size_t end = std::min(text.find(';', i), text.size());
            value.assign(text.substr(i, end - i));
            i = end;
        }
        ++i;  // past the ';'
        attributes.push_back({std::string(key), std::move(value)});
    }
    return attributes;
}

ParadoxSource resolveParadoxSource(std::string_view connectionString) {
    static constexpr std::array<std::string_view, 6> knownKeys = {
        "Driver", "Dbq", "DefaultDir", "DriverID", "Fil", "CollatingSequence"};

    const std::vector<ConnectionAttribute> attributes = parseConnectionString(connectionString);
    const std::string* driverName = nullptr;
    const std::string* folder = nullptr;
    for (const ConnectionAttribute& a : attributes) {
        const auto known = std::find_if(knownKeys.begin(), knownKeys.end(),
                                        [&](std::string_view k) { return equalsIgnoringCase(k, a.key); });
        if (known == knownKeys.end())
            throw ConnectionError("The connection string holds the key \"" + a.key +
                                  "\", which the Paradox driver does not know.");
        if (*known == "Driver" && !driverName) driverName = &a.value;
        if (*known == "Dbq" && !folder) folder = &a.value;
    }

    if (!driverName)
        throw ConnectionError("The connection string names no driver; expected Driver={" +
                              std::string(paradoxDriverName) + "}.");
    if (!equalsIgnoringCase(*driverName, paradoxDriverName))
        throw ConnectionError("The driver \"" + *driverName + "\" is not available; the only driver is \"" +
                              std::string(paradoxDriverName) + "\".");
    if (!folder || folder->empty())
        throw ConnectionError("The connection string names no folder of tables (Dbq=...).");

    const std::filesystem::path path(*folder);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found)
        throw ConnectionError("The folder \"" + *folder + "\" does not exist.");
    if (error)
        throw ConnectionError("The folder \"" + *folder + "\" cannot be read: " + error.message() + ".");
    if (status.type() != std::filesystem::file_type::directory)
        throw ConnectionError("\"" + *folder + "\" is not a folder.");
    return ParadoxSource{path};
}

}  // namespace driver
