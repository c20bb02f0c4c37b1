#include "driver/Sql.h"

#include <algorithm>

namespace driver {
namespace {

enum class TokenKind { Word, QuotedName, Star, Comma, Semicolon, End };

struct Token {
    TokenKind kind;
    std::string text;         // Word: as written; QuotedName: quotes undone
    std::size_t offset = 0;   // byte offset in the query
    std::string_view source;  // the token as written
};

bool isNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '$' || c == '#' || c >= 0x80;
}
bool isNameChar(unsigned char c) { return isNameStart(c) || (c >= '0' && c <= '9'); }
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool isKeyword(std::string_view word, std::string_view keyword) {
    return word.size() == keyword.size() &&
           std::equal(word.begin(), word.end(), keyword.begin(),
                      [](char w, char k) { return (w >= 'a' && w <= 'z' ? w - 'a' + 'A' : w) == k; });
}
bool isReserved(std::string_view word) { return isKeyword(word, "SELECT") || isKeyword(word, "FROM"); }

class Parser {
public:
    explicit Parser(std::string_view sql) : sql_(sql) { advance(); }

    SelectStatement parse() {
        SelectStatement statement;
        expectKeyword("SELECT");
        if (token_.kind == TokenKind::Star) {
            statement.allColumns = true;
            advance();
        } else {
            statement.columns.push_back(expectName("a field name or \"*\""));
            while (token_.kind == TokenKind::Comma) {
                advance();
                statement.columns.push_back(expectName("a field name"));
            }
        }
        if (!(token_.kind == TokenKind::Word && isKeyword(token_.text, "FROM")))
            fail(statement.allColumns ? "FROM" : "\",\" or FROM");
        advance();
        statement.table = expectName("a table name");
        if (token_.kind == TokenKind::Semicolon) advance();
        if (token_.kind != TokenKind::End) fail("the end of the query");
        return statement;
    }

private:
    void expectKeyword(std::string_view keyword) {
        if (!(token_.kind == TokenKind::Word && isKeyword(token_.text, keyword))) fail(std::string(keyword));
        advance();
    }

    std::string expectName(const std::string& what) {
        const bool bare = token_.kind == TokenKind::Word && !isReserved(token_.text);
        if (!bare && token_.kind != TokenKind::QuotedName) fail(what);
        std::string name = std::move(token_.text);
        advance();
        return name;
    }

    [[noreturn]] void fail(const std::string& expected) const {
        std::string found;
        if (token_.kind == TokenKind::End) {
            found = "the end of the query";
        } else {
            constexpr std::size_t shown = 40;
            found = "\"" + std::string(token_.source.substr(0, shown)) +
                    (token_.source.size() > shown ? "...\"" : "\"");
        }
        failAt(token_.offset, "expected " + expected + ", found " + found);
    }

    [[noreturn]] void failAt(std::size_t offset, const std::string& what) const {
        const std::size_t position =
            1 + std::count_if(sql_.begin(), sql_.begin() + offset,
                              [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
        throw SqlSyntaxError("Syntax error in query at character " + std::to_string(position) + ": " + what + ".",
                             position);
    }

    void advance() {
        while (pos_ < sql_.size() && isSpace(sql_[pos_])) ++pos_;
        const std::size_t start = pos_;
        token_ = Token{TokenKind::End, {}, start, {}};
        if (pos_ == sql_.size()) return;

        const char c = sql_[pos_];
        if (c == '*' || c == ',' || c == ';') {
            token_.kind = c == '*' ? TokenKind::Star : c == ',' ? TokenKind::Comma : TokenKind::Semicolon;
            ++pos_;
        } else if (c == '[' || c == '`' || c == '"') {
            const char close = c == '[' ? ']' : c;
            token_.kind = TokenKind::QuotedName;
            ++pos_;
            for (;;) {
                if (pos_ >= sql_.size())
                    failAt(start, std::string("the name has no closing ") + (close == '"' ? "'\"'" : "\"" + std::string(1, close) + "\""));
                if (sql_[pos_] == close) {
                    if (pos_ + 1 < sql_.size() && sql_[pos_ + 1] == close) {
                        token_.text += close;
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    break;
                }
                token_.text += sql_[pos_++];
            }
            if (token_.text.empty()) failAt(start, "empty name");
        } else if (isNameStart(static_cast<unsigned char>(c))) {
            token_.kind = TokenKind::Word;
            while (pos_ < sql_.size() && isNameChar(static_cast<unsigned char>(sql_[pos_]))) ++pos_;
            token_.text.assign(sql_.substr(start, pos_ - start));
        } else {
            failAt(start, "unexpected character \"" + std::string(1, c) + "\"");  // ASCII: see isNameStart
        }
        token_.source = sql_.substr(start, pos_ - start);
    }

    std::string_view sql_;
    std::size_t pos_ = 0;
    Token token_;
};

}  // namespace

SelectStatement parseSelect(std::string_view sql) { return Parser(sql).parse(); }

}  // namespace driver
