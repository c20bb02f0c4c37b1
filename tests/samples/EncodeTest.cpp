// The byte encoders at their boundaries: values from the format note's worked
// examples and the edges where sign flipping and complementing go wrong.

#include "paradoxwriter/Encode.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>

using namespace paradoxwriter;

namespace {

template <std::size_t N>
std::array<std::uint8_t, N> integerBytes(std::int64_t value) {
    std::array<std::uint8_t, N> out{};
    encode::integer(out.data(), value, static_cast<int>(N));
    return out;
}

std::array<std::uint8_t, 8> numberBytes(double value) {
    std::array<std::uint8_t, 8> out{};
    encode::number(out.data(), value);
    return out;
}

using B2 = std::array<std::uint8_t, 2>;
using B4 = std::array<std::uint8_t, 4>;
using B8 = std::array<std::uint8_t, 8>;
using B17 = std::array<std::uint8_t, 17>;

}  // namespace

// Ordinary values are checked byte for byte in WriterTest; here the edges.
TEST(Encode, ExtremesKeepTheirSignAndNeverLookLikeNull) {
    EXPECT_EQ(integerBytes<2>(32767), (B2{0xFF, 0xFF}));
    EXPECT_EQ(integerBytes<2>(-32767), (B2{0x00, 0x01}));
    EXPECT_EQ(integerBytes<4>(-2147483647), (B4{0x00, 0x00, 0x00, 0x01}));
    EXPECT_EQ(numberBytes(0.0), (B8{0x80, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(numberBytes(-0.0), (B8{0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(numberBytes(-std::numeric_limits<double>::infinity()),
              (B8{0x00, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(Encode, DayNumbersCountFromTheFirstOfJanuaryOfYearOne) {
    EXPECT_EQ(encode::dayNumber({1, 1, 1}), 1);
    EXPECT_EQ(encode::dayNumber({100, 1, 1}), 36160);
    EXPECT_EQ(encode::dayNumber({1996, 5, 4}), 728783);
    EXPECT_EQ(encode::dayNumber({1900, 3, 1}), encode::dayNumber({1900, 2, 28}).value() + 1);
    EXPECT_EQ(encode::dayNumber({2000, 3, 1}), encode::dayNumber({2000, 2, 28}).value() + 2);
    EXPECT_EQ(encode::dayNumber({9999, 12, 31}), 3652059);
}

TEST(Encode, DatesThatDoNotExistAreRefused) {
    EXPECT_FALSE(encode::dayNumber({1900, 2, 29}));
    EXPECT_FALSE(encode::dayNumber({2023, 4, 31}));
    EXPECT_FALSE(encode::dayNumber({2023, 13, 1}));
    EXPECT_FALSE(encode::dayNumber({2023, 0, 1}));
    EXPECT_FALSE(encode::dayNumber({0, 12, 31}));
    EXPECT_FALSE(encode::dayNumber({10000, 1, 1}));
    EXPECT_TRUE(encode::dayNumber({2000, 2, 29}));
}

TEST(Encode, BcdKeepsDecimalsInTheFirstByteAndComplementsNegativeDigits) {
    B17 out{};
    ASSERT_TRUE(encode::bcd(out.data(), "12.5", 2));
    EXPECT_EQ(out, (B17{0xC2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x50}));
    ASSERT_TRUE(encode::bcd(out.data(), "-12.50", 2));
    EXPECT_EQ(out, (B17{0x42, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                        0xFF, 0xED, 0xAF}));
    // Zero is positive whatever its sign, and never all zeros.
    ASSERT_TRUE(encode::bcd(out.data(), "-0.00", 2));
    EXPECT_EQ(out, (B17{0xC2}));
    ASSERT_TRUE(encode::bcd(out.data(), "99999999999999999999999999999999", 0));
    EXPECT_EQ(out[1], 0x99);
    EXPECT_EQ(out[16], 0x99);
}

TEST(Encode, BcdRefusesTextItCannotHoldExactly) {
    B17 out{};
    EXPECT_FALSE(encode::bcd(out.data(), "1.234", 2));  // would lose a digit
    EXPECT_FALSE(encode::bcd(out.data(), "100000000000000000000000000000000", 0));  // 33 digits
    EXPECT_FALSE(encode::bcd(out.data(), "1000000000000000000000000000000", 2));  // 31 + 2
    EXPECT_FALSE(encode::bcd(out.data(), "", 2));
    EXPECT_FALSE(encode::bcd(out.data(), "-", 2));
    EXPECT_FALSE(encode::bcd(out.data(), "1.", 2));
    EXPECT_FALSE(encode::bcd(out.data(), "1,5", 2));
    EXPECT_FALSE(encode::bcd(out.data(), "+1", 2));
    EXPECT_FALSE(encode::bcd(out.data(), "1", 33));
    EXPECT_EQ(out, B17{});
}
