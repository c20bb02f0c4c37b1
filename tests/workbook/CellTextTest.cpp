#include "workbook/CellText.h"
#include "workbook/CellValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using workbook::escapeXmlText;
using workbook::fittingTextBytes;

std::string escaped(std::string_view text) {
    std::string out(workbook::maxXmlTextSize(text.size()), '\0');
    out.resize(static_cast<std::size_t>(escapeXmlText(out.data(), text) - out.data()));
    return out;
}

// What an XML parser gives for the escaped text: the three entities resolved.
std::string parsed(std::string_view xml) {
    std::string out;
    for (std::size_t i = 0; i < xml.size(); ++i) {
        if (xml[i] != '&') {
            out += xml[i];
        } else if (xml.substr(i, 5) == "&amp;") {
            out += '&', i += 4;
        } else if (xml.substr(i, 4) == "&lt;") {
            out += '<', i += 3;
        } else if (xml.substr(i, 4) == "&gt;") {
            out += '>', i += 3;
        } else {
            ADD_FAILURE() << "unknown entity in " << xml;
        }
    }
    return out;
}

TEST(CellText, FitsAtACharacterBoundaryCountingUtf16Units) {
    EXPECT_EQ(fittingTextBytes("abcdef", 4), 4u);
    EXPECT_EQ(fittingTextBytes("abc", 4), 3u);
    // "é" is two bytes and one unit: three of them fit in three units.
    EXPECT_EQ(fittingTextBytes("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 3), 6u);
    // An emoji is four bytes and two units: it does not fit into the one unit left.
    EXPECT_EQ(fittingTextBytes("ab\xF0\x9F\x98\x80", 3), 2u);
    EXPECT_EQ(fittingTextBytes("ab\xF0\x9F\x98\x80", 4), 6u);
    // A euro sign (three bytes) is never split.
    EXPECT_EQ(fittingTextBytes("\xE2\x82\xAC\xE2\x82\xAC", 1), 3u);
    // Malformed bytes are written as one U+FFFD each, so each counts one unit.
    EXPECT_EQ(fittingTextBytes("\x80\x80\x80\x80", 2), 2u);
    EXPECT_EQ(fittingTextBytes("abcdef\xE2\x82", 7), 7u);
}

TEST(CellText, EscapesWhatXmlCannotHoldAsExcelReadsIt) {
    EXPECT_EQ(escaped("a<b>&c\"d'"), "a&lt;b&gt;&amp;c\"d'");
    EXPECT_EQ(escaped(std::string("\0\x01\x08\t\n\x0B\r\x1F", 8)), "_x0000__x0001__x0008_\t\n_x000B__x000D__x001F_");
    EXPECT_EQ(escaped("_x0041_ _X0041_ _x004_ _x00e9_"), "_x005F_x0041_ _X0041_ _x004_ _x005F_x00e9_");
    EXPECT_EQ(escaped("\xEF\xBF\xBE\xEF\xBF\xBD"), "_xFFFE_\xEF\xBF\xBD");
    // The escape of a control character must not complete a "_xHHHH" of the text.
    EXPECT_EQ(escaped("_x0005\x1E _x0005\xEF\xBF\xBF"), "_x005F_x0005_x001E_ _x005F_x0005_xFFFF_");
    EXPECT_EQ(escaped("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // an overlong '/'
    EXPECT_TRUE(workbook::needsSpacePreserved(" a"));
    EXPECT_TRUE(workbook::needsSpacePreserved("a\n"));
    EXPECT_FALSE(workbook::needsSpacePreserved("a b"));
}

// Random texts of the characters that matter: the escaped text holds only
// what XML 1.0 allows, and a reader gets the text back.
TEST(CellText, RandomTextsSurviveEscaping) {
    std::mt19937 random(20261208);
    const std::vector<std::string> pieces = {"a", "_", "x", "_x", "0", "F", "&", "<", ">", "\t", "\r", "\n",
                                             std::string(1, '\0'), "\x01", "\x1F", "\x7F", "\xC3\xA9", "\xEF\xBF\xBF",
                                             "\xF0\x9F\x98\x80", "\x80", "\xFF", " "};
    for (int round = 0; round < 3000; ++round) {
        // The stray bytes come back as U+FFFD (no piece ends inside a sequence).
        std::string text, wellFormed;
        const int length = static_cast<int>(random() % 24);
        for (int i = 0; i < length; ++i) {
            const std::string& piece = pieces[random() % pieces.size()];
            text += piece;
            wellFormed += piece == "\x80" || piece == "\xFF" ? std::string("\xEF\xBF\xBD") : piece;
        }
        const std::string xml = escaped(text);
        for (const char c : xml) {
            const auto byte = static_cast<unsigned char>(c);
            ASSERT_TRUE(byte >= 0x20 || c == '\t' || c == '\n') << testing::PrintToString(text);
            ASSERT_NE(c, '<');
        }
        ASSERT_EQ(workbook::unescapeXmlText(parsed(xml)), wellFormed) << testing::PrintToString(text);
    }
}

TEST(CellValues, DateTimeSerialsNeverFallBelowTheirSecond) {
    std::mt19937_64 random(7);
    for (int i = 0; i < 100'000; ++i) {
        const auto day = static_cast<std::int64_t>(random() % 2'958'466);
        const auto ms = static_cast<std::int64_t>(random() % 86'400'000) / (i % 2 == 0 ? 1000 : 1) * (i % 2 == 0 ? 1000 : 1);
        const double serial = workbook::dayTimeSerial(day, ms);
        const double exact = static_cast<double>(day * 86'400'000 + ms);
        // Not below the instant (what a reader cutting the seconds needs) ...
        ASSERT_GE(std::fma(serial, 86'400'000.0, -exact), 0) << day << " " << ms;
        // ... and back to the same millisecond when rounded.
        ASSERT_EQ(std::llround((serial - static_cast<double>(day)) * 86'400'000.0), ms) << day << " " << ms;
    }
}

}  // namespace
