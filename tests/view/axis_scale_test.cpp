// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/axis_scale.h"

#include <gtest/gtest.h>

#include <random>

namespace ktx {
namespace {

struct ScaleCase {
    double min;
    double max;
    int rows;
    double low;
    double division;
    int resultRows;
};

class NiceScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(NiceScaleTest, GivesGrid) {
    const ScaleCase& c = GetParam();
    const AxisScale s = NiceScale(c.min, c.max, c.rows);
    EXPECT_NEAR(s.low, c.low, 1e-12);
    EXPECT_NEAR(s.division, c.division, 1e-12);
    EXPECT_EQ(s.rows, c.resultRows);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NiceScaleTest,
    ::testing::Values(
        // Range 1.0: step 0.2 from -0.4 to 0.8 is 6 divisions, which fit twice into 14.
        ScaleCase{-0.3, 0.7, 14, -0.4, 0.1, 12},
        // Without room to halve, the 6 divisions of 0.2 stay.
        ScaleCase{-0.3, 0.7, 11, -0.4, 0.2, 6}, ScaleCase{0.0, 1.0, 10, 0.0, 0.1, 10},
        // Mantissa 7.3: steps of 1 give 8 divisions; 16 do not fit into 10.
        ScaleCase{0.0, 7.3, 10, 0.0, 1.0, 8},
        // 8 divisions do not fit into 5: the next step, 2, gives 4.
        ScaleCase{0.0, 7.3, 5, 0.0, 2.0, 4}, ScaleCase{-5.0, 0.0, 10, -5.0, 0.5, 10},
        // Mantissa 3: step 0.5 * 1E-3.
        ScaleCase{0.0, 0.003, 6, 0.0, 0.0005, 6}, ScaleCase{-0.0012, 0.0, 20, -0.0012, 0.0001, 12},
        // 0.6 / 0.2 is 2.9999999999999996 in binary; it must not grow a fourth division.
        ScaleCase{0.0, 0.6, 3, 0.0, 0.2, 3},
        // An all-zero curve still gets a grid.
        ScaleCase{0.0, 0.0, 10, 0.0, 0.1, 2}));

TEST(NiceScale, GridCoversTheRangeWithinTheRowsAllowed) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> mag(-6.0, 6.0);
    std::uniform_int_distribution<int> rowsDist(6, 40);
    for (int i = 0; i < 2000; ++i) {
        const double max = std::pow(10.0, mag(rng));
        const double min = (i % 3 == 0) ? 0.0 : -std::pow(10.0, mag(rng));
        const int rows = rowsDist(rng);
        const AxisScale s = NiceScale(min, max, rows);
        const double span = max - min;
        ASSERT_LE(s.low, min + 1e-9 * span) << min << " " << max;
        ASSERT_GE(s.low + s.rows * s.division, max - 1e-9 * span) << min << " " << max;
        ASSERT_GE(s.rows, 1);
        ASSERT_LE(s.rows, std::max(rows, 4));
    }
}

struct NumberCase {
    int width;
    double value;
    const char* text;
};

class FormatNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(FormatNumberTest, FormatsInWidth) {
    EXPECT_EQ(FormatNumber(GetParam().width, GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatNumberTest,
    ::testing::Values(NumberCase{9, 0.0, "        0"}, NumberCase{9, 1.5, "    1.500"},
                      NumberCase{9, -12.25, "  -12.250"}, NumberCase{7, 0.4, "  0.400"},
                      NumberCase{9, 0.000015, " 1.500E-5"}, NumberCase{9, 0.1, " 1.000E-1"},
                      NumberCase{7, 0.05, " 5.0E-2"}, NumberCase{9, 123456789.0, " 1.2346E8"},
                      NumberCase{9, -0.00025, "-2.500E-4"},
                      // 9.99996E-5 rounds to 10.000 at 3 decimals: carried into the exponent.
                      NumberCase{9, 9.99996e-5, " 1.000E-4"}, NumberCase{5, 0.05, "###"},
                      NumberCase{7, 1234567.0, " 1.23E6"}));

}  // namespace
}  // namespace ktx
