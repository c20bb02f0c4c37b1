#include "driver/Sql.h"

#include <gtest/gtest.h>

using driver::parseSelect;
using driver::SelectStatement;
using driver::SqlSyntaxError;

namespace {

using Names = std::vector<std::string>;

std::string messageOf(std::string_view sql) {
    try {
        parseSelect(sql);
    } catch (const SqlSyntaxError& e) {
        return e.what();
    }
    return "(no error)";
}

std::size_t positionOf(std::string_view sql) {
    try {
        parseSelect(sql);
    } catch (const SqlSyntaxError& e) {
        return e.position();
    }
    return 0;
}

// The wizard's two queries, every quoting (doubled quotes undone, other quote
// characters plain inside, keywords and punctuation allowed), any keyword case
// and layout, bare names with digits, signs and letters beyond ASCII.
TEST(ParseSelect, ReadsTheColumnsInTheirOrderAndTheTable) {
    const struct {
        const char* sql;
        Names columns;  // empty: *
        const char* table;
    } cases[] = {
        {"SELECT * FROM [CUSTOMER];", {}, "CUSTOMER"},
        {"SELECT `Name`, `Cust No`, `City` FROM `CUSTOMER`", {"Name", "Cust No", "City"}, "CUSTOMER"},
        {"SELECT [a]]b], `c``d`, \"e\"\"f\", g FROM t", {"a]b", "c`d", "e\"f", "g"}, "t"},
        {"SELECT [a`\"[b], `x]\"` FROM t", {"a`\"[b", "x]\""}, "t"},
        {"SELECT [from], `select` FROM [My Table; v2.db]", {"from", "select"}, "My Table; v2.db"},
        {"\n  select\tName ,City\r\nfRoM customer  ;  \n", {"Name", "City"}, "customer"},
        {"SELECT*FROM[t];", {}, "t"},
        {"SELECT Cust_No2, Amount$, Item#, Größe FROM Orders", {"Cust_No2", "Amount$", "Item#", "Größe"}, "Orders"},
    };
    for (const auto& c : cases) {
        const SelectStatement s = parseSelect(c.sql);
        EXPECT_EQ(s.allColumns, c.columns.empty()) << c.sql;
        EXPECT_EQ(s.columns, c.columns) << c.sql;
        EXPECT_EQ(s.table, c.table) << c.sql;
    }
}

TEST(ParseSelect, SaysWhatWasExpectedAndWhere) {
    EXPECT_EQ(messageOf(""), "Syntax error in query at character 1: expected SELECT, found the end of the query.");
    EXPECT_EQ(messageOf("DELETE FROM t"), "Syntax error in query at character 1: expected SELECT, found \"DELETE\".");
    EXPECT_EQ(messageOf("SELECT FROM t"),
              "Syntax error in query at character 8: expected a field name or \"*\", found \"FROM\".");
    EXPECT_EQ(messageOf("SELECT a, FROM t"),
              "Syntax error in query at character 11: expected a field name, found \"FROM\".");
    EXPECT_EQ(messageOf("SELECT a b FROM t"),
              "Syntax error in query at character 10: expected \",\" or FROM, found \"b\".");
    EXPECT_EQ(messageOf("SELECT * , a FROM t"), "Syntax error in query at character 10: expected FROM, found \",\".");
    EXPECT_EQ(messageOf("SELECT * FROM"),
              "Syntax error in query at character 14: expected a table name, found the end of the query.");
    EXPECT_EQ(messageOf("SELECT * FROM t WHERE a = 1"),
              "Syntax error in query at character 17: expected the end of the query, found \"WHERE\".");
    EXPECT_EQ(messageOf("SELECT * FROM t;;"),
              "Syntax error in query at character 17: expected the end of the query, found \";\".");
    EXPECT_EQ(messageOf("SELECT 1a FROM t"),
              "Syntax error in query at character 8: unexpected character \"1\".");
    EXPECT_EQ(messageOf("SELECT a.b FROM t"),
              "Syntax error in query at character 9: unexpected character \".\".");
}

TEST(ParseSelect, RejectsBrokenQuotedNames) {
    // A table name holding ']' put between brackets unescaped.
    EXPECT_EQ(messageOf("SELECT * FROM [A]B];"), "Syntax error in query at character 18: expected the end of the query, found \"B\".");
    EXPECT_EQ(messageOf("SELECT * FROM [AB;"), "Syntax error in query at character 15: the name has no closing \"]\".");
    EXPECT_EQ(messageOf("SELECT `a FROM t"), "Syntax error in query at character 8: the name has no closing \"`\".");
    EXPECT_EQ(messageOf("SELECT \"a FROM t"), "Syntax error in query at character 8: the name has no closing '\"'.");
    EXPECT_EQ(messageOf("SELECT * FROM []"), "Syntax error in query at character 15: empty name.");
}

TEST(ParseSelect, CountsPositionsInCharactersAndShortensLongTokens) {
    EXPECT_EQ(messageOf("SELECT Größe Maß FROM t"),
              "Syntax error in query at character 14: expected \",\" or FROM, found \"Maß\".");
    const std::string longName(60, 'x');
    EXPECT_EQ(messageOf("SELECT * FROM t " + longName),
              "Syntax error in query at character 17: expected the end of the query, found \"" +
                  std::string(40, 'x') + "...\".");
    EXPECT_EQ(positionOf("SELECT Größe Maß FROM t"), 14u);
}

}  // namespace
