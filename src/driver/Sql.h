#pragma once
// The SQL this driver understands: one SELECT of named fields or "*" from one
// table.
//
//   query      := SELECT columns FROM name [";"]
//   columns    := "*" | name {"," name}
//   name       := bare | "[" ... "]" | "`" ... "`" | '"' ... '"'
//
// Keywords ignore letter case. A bare name is letters, digits, '_', '$', '#'
// and any non-ASCII character, not starting with a digit, and is never a
// keyword. Inside a quoted name the closing quote is written twice to stand
// for itself ("]]", "``", """").

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace driver {

// Query text that does not follow the grammar above. what() says what was
// expected, what was found, and at which character (1-based).
class SqlSyntaxError : public std::runtime_error {
public:
    SqlSyntaxError(const std::string& message, std::size_t position)
        : std::runtime_error(message), position_(position) {}
    std::size_t position() const { return position_; }

private:
    std::size_t position_;
};

struct SelectStatement {
    bool allColumns = false;           // "*"
    std::vector<std::string> columns;  // names as written, quotes undone; empty for "*"
    std::string table;
};

SelectStatement parseSelect(std::string_view sql);

}  // namespace driver
