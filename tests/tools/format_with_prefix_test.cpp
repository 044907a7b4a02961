// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/format_with_prefix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace ktx {
namespace {

struct PrefixCase {
    double value;
    const char* unit;
    const char* text;
};

class FormatWithPrefixTest : public ::testing::TestWithParam<PrefixCase> {};

TEST_P(FormatWithPrefixTest, ScalesToPrefixAndDropsTrailingZeros) {
    EXPECT_EQ(FormatWithPrefix(GetParam().value, GetParam().unit), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FormatWithPrefixTest,
    ::testing::Values(PrefixCase{0.0123, "V", "12.3mV"}, PrefixCase{1500.0, "Hz", "1.5kHz"},
                      PrefixCase{0.5, "V", "500mV"}, PrefixCase{250.0, "V", "250V"},
                      PrefixCase{500.0, "V", "500V"}, PrefixCase{0.0, "V", "0V"},
                      PrefixCase{-0.0123, "V", "-12.3mV"}, PrefixCase{1.0, "s", "1s"},
                      PrefixCase{999.0, "V", "999V"}, PrefixCase{1000.0, "V", "1kV"},
                      PrefixCase{123456789.0, "V", "123.4568MV"}, PrefixCase{2.5e-6, "s", "2.5us"},
                      PrefixCase{4.7e-9, "F", "4.7nF"}, PrefixCase{3.3e-12, "F", "3.3pF"},
                      PrefixCase{0.00012345, "A", "123.45uA"},
                      // Beyond the tables the value stays in G or p instead of losing a factor.
                      PrefixCase{2e12, "Hz", "2000GHz"}, PrefixCase{5e-14, "F", "0.05pF"}));

// A value far beyond the table keeps all its digits in G: a text cut to the first 63 characters
// lost its zeros and showed 1E300 as "1GV".
TEST(FormatWithPrefix, HugeValuesReadBackInGiga) {
    for (const double value : {1e20, 1e60, -1e300, 1.7976931348623157e308}) {
        SCOPED_TRACE(value);
        const std::string text = FormatWithPrefix(value, "V");
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "GV");
        EXPECT_NEAR(std::strtod(text.c_str(), nullptr) * 1e9 / value, 1.0, 1e-12);
    }
}

struct ExponentCase {
    double value;
    int exponent;
};

class DecimalExponentTest : public ::testing::TestWithParam<ExponentCase> {};

TEST_P(DecimalExponentTest, FollowsFifteenDigitRounding) {
    EXPECT_EQ(DecimalExponent(GetParam().value), GetParam().exponent);
}

INSTANTIATE_TEST_SUITE_P(Values, DecimalExponentTest,
                         ::testing::Values(ExponentCase{0.0, 0}, ExponentCase{1.0, 0},
                                           ExponentCase{9.99, 0}, ExponentCase{10.0, 1},
                                           ExponentCase{0.001, -3}, ExponentCase{0.00099, -4},
                                           // Rounds up to 1.00000000000000E-03 at 15 digits.
                                           ExponentCase{0.00099999999999999996, -3},
                                           ExponentCase{0.99999999999999999, 0},
                                           ExponentCase{-2500.0, 3}));

TEST(FormatWithPrefix, ValueJustBelowPowerOfTenTakesTheHigherPrefix) {
    // 15-digit rounding moves it to the milli range, where it prints as exactly 1.
    EXPECT_EQ(FormatWithPrefix(0.00099999999999999996, "V"), "1mV");
    EXPECT_EQ(FormatWithPrefix(0.00099999, "V"), "999.99uV");
    // Rounding to 4 decimals can still reach 1000 of a prefix.
    EXPECT_EQ(FormatWithPrefix(999.99999, "V"), "1000V");
}

}  // namespace
}  // namespace ktx
