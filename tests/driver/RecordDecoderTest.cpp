// Boundary values of the record encodings and of text decoding.

#include "driver/RecordDecoder.h"
#include "driver/TextDecoder.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

using namespace driver;

namespace {
std::vector<std::uint8_t> bytes(std::initializer_list<int> list) {
    std::vector<std::uint8_t> out;
    for (int b : list) out.push_back(static_cast<std::uint8_t>(b));
    return out;
}
std::string decode1252(std::string_view text) {
    return TextDecoder(1252).decode(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}
}  // namespace

TEST(RecordDecoder, IntegersAreBigEndianWithTheSignBitFlipped) {
    EXPECT_EQ(RecordDecoder::integer(bytes({0x80, 0x01}).data(), 2), 1);
    EXPECT_EQ(RecordDecoder::integer(bytes({0x80, 0x00}).data(), 2), 0);
    EXPECT_EQ(RecordDecoder::integer(bytes({0x7F, 0xFF}).data(), 2), -1);
    EXPECT_EQ(RecordDecoder::integer(bytes({0x81, 0x00}).data(), 2), 256);
    EXPECT_EQ(RecordDecoder::integer(bytes({0x00, 0x00, 0x00, 0x01}).data(), 4), -2147483647);
    EXPECT_EQ(RecordDecoder::integer(bytes({0xFF, 0xFF, 0xFF, 0xFF}).data(), 4), 2147483647);
    EXPECT_FALSE(RecordDecoder::integer(bytes({0, 0, 0, 0}).data(), 4).has_value());
}

TEST(RecordDecoder, DoublesInvertEveryBitWhenNegative) {
    // 1.0 = 3FF0... stored with the top bit set; -1.0 = BFF0... stored inverted.
    EXPECT_EQ(RecordDecoder::number(bytes({0xBF, 0xF0, 0, 0, 0, 0, 0, 0}).data()), 1.0);
    EXPECT_EQ(RecordDecoder::number(bytes({0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}).data()), -1.0);
    EXPECT_EQ(RecordDecoder::number(bytes({0x80, 0, 0, 0, 0, 0, 0, 0}).data()), 0.0);
    EXPECT_FALSE(RecordDecoder::number(bytes({0, 0, 0, 0, 0, 0, 0, 0}).data()).has_value());
    // Only the last byte set is still a value (pxlib looks at four bytes only).
    EXPECT_TRUE(RecordDecoder::number(bytes({0, 0, 0, 0, 0, 0, 0, 1}).data()).has_value());
}

TEST(RecordDecoder, DaysCountFromFirstJanuaryOfYearOne) {
    EXPECT_EQ(RecordDecoder::dateFromDays(1), (Date{1, 1, 1}));
    EXPECT_EQ(RecordDecoder::dateFromDays(36160), (Date{100, 1, 1}));
    EXPECT_EQ(RecordDecoder::dateFromDays(728783), (Date{1996, 5, 4}));
    EXPECT_EQ(RecordDecoder::dateFromDays(0), (Date{0, 12, 31}));
    EXPECT_EQ(RecordDecoder::dateFromDays(-366), (Date{-1, 12, 31}));
    EXPECT_EQ(RecordDecoder::dateFromDays(-2147483647).year < -5000000, true);
}

namespace {
bool leapYear(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }
int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leapYear(y) ? 29 : days[m - 1];
}
Date nextDay(Date d) {
    if (d.day < daysInMonth(d.year, d.month)) return {d.year, d.month, d.day + 1};
    if (d.month < 12) return {d.year, d.month + 1, 1};
    return {d.year + 1, 1, 1};
}
// Every day in [from, to] follows the one before it on the calendar.
void expectConsecutive(std::int64_t from, std::int64_t to) {
    Date previous = RecordDecoder::dateFromDays(from);
    for (std::int64_t day = from + 1; day <= to; ++day) {
        const Date date = RecordDecoder::dateFromDays(day);
        ASSERT_EQ(date, nextDay(previous)) << "day " << day;
        previous = date;
    }
}
}  // namespace

TEST(RecordDecoder, EveryDayFollowsTheOneBefore) {
    // Years -2700 to 4100 day by day (1901 to 2097 included), and across the
    // edges where the conversion changes method (about years -28,000 and 30,000).
    expectConsecutive(-1'000'000, 1'500'000);
    expectConsecutive(-11'001'000, -10'999'000);
    expectConsecutive(10'999'000, 11'001'000);
    expectConsecutive(-12'700'000 - 1000, -12'700'000 + 1000);
    // The 4-year cycle of 1901-03-01 to 2097-02-28 and the days around it.
    EXPECT_EQ(RecordDecoder::dateFromDays(694'019), (Date{1901, 2, 28}));
    EXPECT_EQ(RecordDecoder::dateFromDays(694'020), (Date{1901, 3, 1}));
    EXPECT_EQ(RecordDecoder::dateFromDays(730'179), (Date{2000, 2, 29}));
    EXPECT_EQ(RecordDecoder::dateFromDays(765'608), (Date{2097, 2, 28}));
    EXPECT_EQ(RecordDecoder::dateFromDays(765'609), (Date{2097, 3, 1}));
    EXPECT_EQ(RecordDecoder::dateFromDays(766'704), (Date{2100, 3, 1}));  // 2100 is no leap year
    EXPECT_EQ(RecordDecoder::dateFromDays(766'703), (Date{2100, 2, 28}));
    EXPECT_EQ(RecordDecoder::dateFromDays(11'000'000), (Date{30117, 12, 23}));
    EXPECT_EQ(RecordDecoder::dateFromDays(-11'000'000), (Date{-30116, 1, 9}));
    EXPECT_EQ(RecordDecoder::dateFromDays(2'147'483'647), (Date{5'879'611, 7, 11}));
}

TEST(RecordDecoder, TimestampsSplitIntoDayAndMilliseconds) {
    // 2011-07-26 11:15:09.890 = day 734344, as stored in a corpus table.
    const double ms = 734344.0 * 86'400'000 + 40'509'890;
    std::uint64_t raw = std::bit_cast<std::uint64_t>(ms) | 0x8000'0000'0000'0000ull;
    std::vector<std::uint8_t> stored(8);
    for (int i = 0; i < 8; ++i) stored[static_cast<std::size_t>(7 - i)] = static_cast<std::uint8_t>(raw >> (8 * i));
    EXPECT_EQ(RecordDecoder::timestamp(stored.data()), Value(Timestamp{{2011, 7, 26}, Time{40'509'890}}));
    // Infinity is damage, not a date.
    raw = std::bit_cast<std::uint64_t>(HUGE_VAL) | 0x8000'0000'0000'0000ull;
    for (int i = 0; i < 8; ++i) stored[static_cast<std::size_t>(7 - i)] = static_cast<std::uint8_t>(raw >> (8 * i));
    EXPECT_TRUE(std::holds_alternative<ValueError>(RecordDecoder::timestamp(stored.data())));
}

TEST(RecordDecoder, BcdKeepsItsDecimalsAndSign) {
    std::vector<std::uint8_t> v(17, 0);
    v[0] = 0xC2;
    v[15] = 0x01;
    v[16] = 0x23;
    EXPECT_EQ(RecordDecoder::bcd(v.data(), 2), Value(Decimal{"1.23"}));
    EXPECT_EQ(RecordDecoder::bcd(v.data(), 0), Value(Decimal{"123"}));
    EXPECT_EQ(RecordDecoder::bcd(v.data(), 32), Value(Decimal{"0.00000000000000000000000000000123"}));
    // Nibbles above 9, as some converters write: read at their place value.
    v[15] = 0x1A;
    v[16] = 0xB0;
    EXPECT_EQ(RecordDecoder::bcd(v.data(), 2), Value(Decimal{"21.10"}));
    v[1] = 0xA0;
    EXPECT_TRUE(std::holds_alternative<ValueError>(RecordDecoder::bcd(v.data(), 2)));
    std::vector<std::uint8_t> negative(17, 0xFF);
    negative[0] = 0x42;
    negative[15] = 0xFE;
    negative[16] = 0xDC;
    EXPECT_EQ(RecordDecoder::bcd(negative.data(), 2), Value(Decimal{"-1.23"}));
    negative.assign(17, 0xFF);
    negative[0] = 0x42;  // negative zero
    EXPECT_EQ(RecordDecoder::bcd(negative.data(), 2), Value(Decimal{"0.00"}));
    std::vector<std::uint8_t> null(17, 0);
    EXPECT_TRUE(isNull(RecordDecoder::bcd(null.data(), 2)));
    null[0] = 0x06;  // decimals set but bit 6 clear: also NULL
    EXPECT_TRUE(isNull(RecordDecoder::bcd(null.data(), 6)));
}

TEST(TextDecoder, CodePagesComeFromTheHeaderOrTheLanguageDriver) {
    EXPECT_EQ(TextDecoder::codePageFor(1252, 0xC0, "cyrr"), 1252);
    EXPECT_EQ(TextDecoder::codePageFor(0, 0x00, "BLROM800"), TextDecoder::kRoman8);
    EXPECT_EQ(TextDecoder::codePageFor(0, 0xC0, ""), 866);
    EXPECT_EQ(TextDecoder::codePageFor(0, 0xE6, ""), 865);
    EXPECT_EQ(TextDecoder::codePageFor(0, 0x99, ""), 437);
    EXPECT_EQ(TextDecoder::codePageFor(0, 0x00, "intl850"), 850);
}

TEST(TextDecoder, FieldsEndAtTheirFirstNul) {
    const TextDecoder cp1252(1252);
    auto field = [&](const std::string& bytes) {
        std::string out = "kept:";
        cp1252.decodeField(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), out);
        return out;
    };
    EXPECT_EQ(field(std::string("abc\0def", 7)), "kept:abc");
    EXPECT_EQ(field("abcdefghijklmnop"), "kept:abcdefghijklmnop");               // no NUL at all
    EXPECT_EQ(field(std::string("abcdefgh\0ijk", 12)), "kept:abcdefgh");         // NUL right after a word
    EXPECT_EQ(field(std::string("abcdefg\0ijk", 11)), "kept:abcdefg");           // NUL at the word's end
    EXPECT_EQ(field(std::string("abcdefghij\xE9\0\xE9", 13)), "kept:abcdefghij\xC3\xA9");
    EXPECT_EQ(field(std::string("\xE9t\xE9\0\0\0\0\0\0\0", 10)), "kept:\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(field(std::string("x\x81", 2)), "kept:x\xC2\x81");
    EXPECT_EQ(field(std::string("ab\0\xE9\xE9xyzw", 9)), "kept:ab");                // NUL, then accents, in one word
    EXPECT_EQ(field(std::string("abcdefgh\xE9\xE9\0xyzwvu", 16)), "kept:abcdefgh\xC3\xA9\xC3\xA9");
    EXPECT_EQ(field(""), "kept:");
    const std::uint8_t gbk[] = {0xC4, 0xE3, 0, 0xC4, 0xE3};
    std::string out;
    TextDecoder(936).decodeField(gbk, 5, out);
    EXPECT_EQ(out, "\xE4\xBD\xA0");
}

TEST(TextDecoder, LongTextOfAccentsAndAsciiInTurns) {
    // Longer than any buffer the decoder works through, ASCII and not mixed.
    std::string bytes, expected;
    for (int i = 0; i < 2000; ++i) {
        bytes += i % 3 == 0 ? '\xFC' : static_cast<char>('a' + i % 26);
        expected += i % 3 == 0 ? "\xC3\xBC" : std::string(1, static_cast<char>('a' + i % 26));
    }
    EXPECT_EQ(TextDecoder(1252).decode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), expected);
    std::string field;
    TextDecoder(1252).decodeField(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), field);
    EXPECT_EQ(field, expected);
}

TEST(TextDecoder, BrokenMultiByteSequencesBecomeReplacementCharacters) {
    // Single bytes are checked against the reference in CodePageTest.
    const auto gbk = bytes({0xC4, 0xE3, 0xFF, 'x', 0xC4});
    EXPECT_EQ(TextDecoder(936).decode(gbk.data(), gbk.size()), "\xE4\xBD\xA0\xEF\xBF\xBDx\xEF\xBF\xBD");
}

TEST(TextDecoder, TextKeepsWhatFollowsAnEmbeddedNul) {
    EXPECT_EQ(decode1252(std::string_view("ab\0\xE9z", 5)), std::string("ab\0\xC3\xA9z", 6));
    const auto gbk = bytes({0xC4, 0xE3, 0, 0xC4, 0xE3});
    EXPECT_EQ(TextDecoder(936).decode(gbk.data(), gbk.size()), std::string("\xE4\xBD\xA0\0\xE4\xBD\xA0", 7));
}
