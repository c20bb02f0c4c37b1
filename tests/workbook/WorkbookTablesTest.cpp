// Several tables in one workbook: a worksheet (or more) each, named after the table.

#include "workbook/SheetNames.h"

#include <gtest/gtest.h>

using workbook::SheetNames;

TEST(SheetNames, FollowExcelsRulesAndTellNamesApartWithoutLetterCase) {
    SheetNames names;
    const std::pair<std::string, std::string> cases[] = {
        {"CUSTOMER", "CUSTOMER"},
        {"customer", "customer-2"},
        {"a[b]:c*d?e/f\\g\th", "a_b__c_d_e_f_g_h"},
        {"'quoted'", "_quoted_"},
        {"", "Sheet"},
        {"HISTORY", "HISTORY-2"},
        {"\xC3\x84rger", "\xC3\x84rger"},
        {"\xC3\xA4RGER", "\xC3\xA4RGER-2"},  // Ä and ä are one letter to Excel
        {std::string(40, 'x'), std::string(31, 'x')},
        {std::string(40, 'x'), std::string(29, 'x') + "-2"},
        {std::string(30, 'y') + "\xF0\x9F\x98\x80", std::string(30, 'y')},  // an emoji is two units
        {"bad \xFF byte", "bad \xEF\xBF\xBD byte"},
    };
    for (const auto& [wanted, given] : cases) EXPECT_EQ(names.take(wanted), given) << wanted;
    EXPECT_EQ(names.take("CUSTOMER", " (2)"), "CUSTOMER (2)");
    EXPECT_EQ(names.take(std::string(40, 'z'), " (2)"), std::string(27, 'z') + " (2)");
}
