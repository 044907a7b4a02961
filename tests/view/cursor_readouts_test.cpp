// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/cursor_readouts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace ktx {
namespace {

// A record of the given y values, one every `dt` seconds from 0, unit "V".
WaveformRecord MakeRecord(const std::vector<double>& ys, double dt = 1e-3, double timeScale = 1e3) {
    WaveformRecord r;
    r.pointCount = static_cast<std::int32_t>(ys.size());
    r.xValues.resize(ys.size());
    r.yValues.resize(ys.size());
    for (std::size_t i = 0; i < ys.size(); ++i) {
        r.xValues[i] = SecondsToTimeField(static_cast<double>(i) * dt);
        r.yValues[i] = Real6::FromDouble(ys[i]);
    }
    r.units = {"V", "#", "#", "#"};
    r.timeScale = timeScale;
    return r;
}

struct StatsCase {
    const char* name;
    std::int32_t cursor1;
    std::int32_t cursor2;
    std::int32_t first;
    std::int32_t span;
};

class StatisticsRangeTest : public ::testing::TestWithParam<StatsCase> {};

// Compared against a plain recomputation over the range the case names.
TEST_P(StatisticsRangeTest, MatchesDirectComputationOverTheClampedRange) {
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.2, 1.5);
    std::vector<double> ys(50);
    for (double& y : ys) {
        y = Real6::FromDouble(noise(rng)).ToDouble();
    }
    const WaveformRecord r = MakeRecord(ys);
    const StatsCase& c = GetParam();
    const CursorStatistics s = StatisticsBetween(r, c.cursor1, c.cursor2);
    ASSERT_EQ(s.first, c.first);
    ASSERT_EQ(s.span, c.span);
    double sum = 0, sq = 0, mn = 1e38, mx = -1e38, trap = 0;
    for (int i = c.first; i <= c.first + c.span; ++i) {
        sum += ys[i];
        sq += ys[i] * ys[i];
        mn = std::min(mn, ys[i]);
        mx = std::max(mx, ys[i]);
        if (i > c.first) {
            trap += 0.5 * (ys[i - 1] + ys[i]);
        }
    }
    const double n = c.span + 1.0;
    EXPECT_DOUBLE_EQ(s.minimum, mn);
    EXPECT_DOUBLE_EQ(s.maximum, mx);
    EXPECT_NEAR(s.sum, sum, 1e-12);
    EXPECT_NEAR(s.mean, sum / n, 1e-12);
    EXPECT_NEAR(s.rms, c.span == 0 ? std::fabs(ys[c.first]) : std::sqrt(sq / n), 1e-12);
    EXPECT_NEAR(s.cycleArea, trap * 1e-3, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, StatisticsRangeTest,
    ::testing::Values(StatsCase{"forward", 5, 20, 5, 15}, StatsCase{"reversed", 20, 5, 5, 15},
                      StatsCase{"same_point", 7, 7, 7, 0}, StatsCase{"whole", 0, 49, 0, 49},
                      StatsCase{"past_end", 40, 70, 40, 9}, StatsCase{"negative", -3, 4, 0, 7}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Statistics, KnownRamp) {
    const WaveformRecord r = MakeRecord({1, 2, 3, 4});
    const CursorStatistics s = StatisticsBetween(r, 3, 0);
    EXPECT_DOUBLE_EQ(s.sum, 10.0);
    EXPECT_DOUBLE_EQ(s.mean, 2.5);
    EXPECT_DOUBLE_EQ(s.rms, std::sqrt(30.0 / 4.0));
    EXPECT_NEAR(s.cycleArea, 7.5e-3, 1e-9);  // 1.5 + 2.5 + 3.5 volts times 1 ms
}

TEST(Statistics, HugeValuesAreMarkedInvalid) {
    const WaveformRecord r = MakeRecord({1.5e38, 1.6e38, 1.7e38});
    const CursorStatistics s = StatisticsBetween(r, 0, 2);
    EXPECT_FALSE(s.meanValid);
    EXPECT_FALSE(s.rmsValid);
    EXPECT_FALSE(s.cycleAreaValid);
    EXPECT_EQ(ComputeReadouts(r, 0, 2, Measurement::Mean).measurement, "---");
}

struct ReadoutCase {
    Measurement item;
    std::int32_t cursor1;
    std::int32_t cursor2;
    const char* text;
};

class ReadoutTest : public ::testing::TestWithParam<ReadoutCase> {};

TEST_P(ReadoutTest, ShowsSelectedMeasurement) {
    const WaveformRecord r = MakeRecord({0.001, -0.002, 0.004, 0.003});
    const ReadoutCase& c = GetParam();
    EXPECT_EQ(ComputeReadouts(r, c.cursor1, c.cursor2, c.item).measurement, c.text);
}

INSTANTIATE_TEST_SUITE_P(Items, ReadoutTest,
                         ::testing::Values(ReadoutCase{Measurement::Difference, 1, 3, "2ms"},
                                           ReadoutCase{Measurement::Frequency, 1, 3, "500Hz"},
                                           ReadoutCase{Measurement::Frequency, 2, 2, "0Hz"},
                                           ReadoutCase{Measurement::Difference, 2, 2, "0s"},
                                           ReadoutCase{Measurement::Minimum, 0, 3, "-2mV"},
                                           ReadoutCase{Measurement::Maximum, 0, 3, "4mV"},
                                           ReadoutCase{Measurement::Mean, 0, 3, "1.5mV"},
                                           ReadoutCase{Measurement::PeakToPeak, 0, 3, "6mV"},
                                           ReadoutCase{Measurement::Sum, 0, 3, "6mV"},
                                           ReadoutCase{Measurement::Mean, 2, 2, "4mV"},
                                           ReadoutCase{Measurement::Rms, 1, 1, "2mV"},
                                           // (-0.5 + 1 + 3.5) mV times 1 ms
                                           ReadoutCase{Measurement::CycleArea, 0, 3, "4uVs"}));

TEST(Readouts, CursorTexts) {
    const WaveformRecord r = MakeRecord({0.001, -0.002, 0.004, 0.003});
    const CursorReadouts out = ComputeReadouts(r, 1, 9, Measurement::Difference);
    EXPECT_EQ(out.wertanz, "Wert1: -2mV  Zeit: 1.000ms");
    // The second cursor is clamped to the last point.
    EXPECT_EQ(out.wertanz2, "Wert2: 3mV  Zeit: 3.000ms");
}

TEST(Readouts, SampleAxisCountsPoints) {
    WaveformRecord r = MakeRecord({1, 2, 3, 4, 5});
    r.sampleAxis = true;
    for (int i = 0; i < 5; ++i) {
        r.xValues[static_cast<std::size_t>(i)] = MillisecondsToTimeField(i + 1);
    }
    const CursorReadouts out = ComputeReadouts(r, 0, 4, Measurement::Difference);
    EXPECT_EQ(out.wertanz, "Wert1: 1V  Zeit: 1Px");
    EXPECT_EQ(out.measurement, "4Px");
    EXPECT_DOUBLE_EQ(out.frequency, 0.25);
}

TEST(Readouts, LongRecordingShowsHoursAndMinutes) {
    WaveformRecord r = MakeRecord({1, 2});
    r.timeScale = 1;
    r.xValues[0] = SecondsToTimeField(3600.0 + 120.0 + 5.25);
    r.xValues[1] = SecondsToTimeField(3600.0 + 180.0 + 5.25);
    const CursorReadouts out = ComputeReadouts(r, 0, 1, Measurement::Difference);
    EXPECT_EQ(out.wertanz, "Wert1: 1V  Zeit: 01:02:5.2500");
    EXPECT_EQ(out.measurement, "00:01:0.0000");
    EXPECT_NEAR(out.frequency, 1.0 / 60.0, 1e-9);
}

}  // namespace
}  // namespace ktx
