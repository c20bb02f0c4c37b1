#pragma once
// ODBC connection strings: the generic "key=value;..." grammar, and what this
// Paradox driver makes of it.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace driver {

// A connection string that cannot be parsed or names nothing this driver can
// open. what() says why, in words fit for the user.
class ConnectionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ConnectionAttribute {
    std::string key;    // as written, blanks around it removed
    std::string value;  // braces removed and "}}" undone; unbraced values verbatim
};

// Splits an ODBC connection string into its attributes, in order.
//
// Pairs are separated by ';'; empty pairs and a trailing ';' are allowed.
// Blanks around a key are dropped. A value that starts with '{' runs to the
// matching '}', may hold ';' and '=', and writes a literal '}' as "}}"; only
// blanks may follow its closing brace. Any other value runs verbatim (blanks
// included) up to the next ';'.
// Throws ConnectionError naming the 1-based character position of a pair
// without '=', an empty key, or an unclosed brace.
std::vector<ConnectionAttribute> parseConnectionString(std::string_view text);

// The driver name this driver answers to (the blank before ')' is part of it).
inline constexpr std::string_view paradoxDriverName = "Microsoft Paradox Driver (*.db )";

struct ParadoxSource {
    std::filesystem::path folder;  // from Dbq; an existing folder
};

// Checks a connection string for this driver: Driver must name
// paradoxDriverName (letter case ignored), Dbq must name an existing folder;
// DefaultDir, DriverID, Fil and CollatingSequence are accepted and ignored.
// Keys ignore letter case; when a key repeats, its first value counts.
// Throws ConnectionError for anything else.
ParadoxSource resolveParadoxSource(std::string_view connectionString);

// ASCII letter case folded; other bytes (UTF-8 included) compare exactly.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace driver
