// SPDX-License-Identifier: GPL-3.0-or-later
// The distribution's class lookup against the search it replaces (the first edge above the
// value), at every edge, one step of a double on either side of it and between the edges, for
// ranges whose edges are equally spaced and for ranges where rounding crowds them together;
// the same for values known only as singles.
// Then the whole distribution against counts made from the definition, read from memory and
// streamed, in every column of a four-column file longer than the read blocks.
#include "analysis/distribution_classes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "analysis/analysis_test_files.h"
#include "analysis/channel_math.h"
#include "test_files.h"
#include "waveform/real6.h"

namespace ktx {
namespace {

struct RangeCase {
    double min, max;
    bool guessed;  // whether the lookup may guess, or has to search
};

class DistributionClassesTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(DistributionClassesTest, SameClassAsTheSearch) {
    const RangeCase c = GetParam();
    const auto e = DistributionEdges(c.min, c.max);
    const DistributionClasses classes(e);
    EXPECT_EQ(classes.Guessed(), c.guessed);
    constexpr double kInf = std::numeric_limits<double>::infinity();
    std::vector<double> ys = {c.min,
                              c.max,
                              std::nextafter(c.min, -kInf),
                              std::nextafter(c.max, kInf),
                              0.0,
                              std::numeric_limits<double>::max(),
                              std::numeric_limits<double>::lowest()};
    for (std::size_t j = 0; j < e.size(); ++j) {
        ys.push_back(e[j]);
        ys.push_back(std::nextafter(e[j], -kInf));
        ys.push_back(std::nextafter(e[j], kInf));
        if (j + 1 < e.size()) {
            ys.push_back(e[j] + (e[j + 1] - e[j]) * 0.5);
        }
    }
    auto expected = [&e](double y) {
        const int j = DistributionClass(e, y);
        return j < 0 ? std::size_t{255} : static_cast<std::size_t>(j);
    };
    for (const double y : ys) {
        EXPECT_EQ(classes.Of(y), expected(y)) << "y = " << y;
    }
#if defined(__SSE2__)
    // Two at a time, each value in either half.
    if (classes.Guessed()) {
        for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
            std::size_t first = 0;
            std::size_t second = 0;
            classes.OfGuessed2(_mm_set_pd(ys[i + 1], ys[i]), first, second);
            EXPECT_EQ(first, expected(ys[i])) << "y = " << ys[i];
            EXPECT_EQ(second, expected(ys[i + 1])) << "y = " << ys[i + 1];
        }
    }
#endif
}

// The distribution keeps its samples as singles: a single must be classed as its value would
// be, or left to the value. Values at and near every edge (within a few units of a single) and
// between the edges, each rounded down and up.
TEST_P(DistributionClassesTest, SinglesAreClassedOnlyWhereTheirRoundingCannotCross) {
    const RangeCase c = GetParam();
    const auto e = DistributionEdges(c.min, c.max);
    const DistributionClasses classes(e, std::max(std::abs(c.min), std::abs(c.max)));
    constexpr float kInf = std::numeric_limits<float>::infinity();
    std::vector<double> ys = {c.min, c.max};
    for (std::size_t j = 0; j < e.size(); ++j) {
        for (int k = -8; k <= 8; ++k) {
            ys.push_back(e[j] + std::abs(e[j]) * std::ldexp(k, -26));
        }
        ys.push_back(std::nextafter(e[j], -1e300));
        if (j + 1 < e.size()) {
            ys.push_back(e[j] + (e[j + 1] - e[j]) * 0.5);
        }
    }
    std::vector<float> singles;
    std::vector<std::size_t> expected;
    for (const double y : ys) {
        if (y < c.min || y > c.max) {
            continue;
        }
        const int j = DistributionClass(e, y);
        const float nearest = static_cast<float>(y);
        for (const float f :
             {nearest, static_cast<double>(nearest) > y ? std::nextafter(nearest, -kInf)
                                                        : std::nextafter(nearest, kInf)}) {
            singles.push_back(f);
            expected.push_back(j < 0 ? std::size_t{255} : static_cast<std::size_t>(j));
        }
    }
    for (std::size_t i = 0; i < singles.size(); ++i) {
        const std::size_t got = classes.OfRounded(singles[i]);
        if (got != DistributionClasses::kUnsure) {
            EXPECT_EQ(got, expected[i]) << "f = " << singles[i];
        }
#if defined(__SSE2__)
        if (i + 1 < singles.size()) {
            std::size_t first = 0;
            std::size_t second = 0;
            classes.OfRounded2(_mm_set_pd(singles[i + 1], singles[i]), first, second);
            EXPECT_EQ(first, got);
            EXPECT_EQ(second, classes.OfRounded(singles[i + 1]));
        }
#endif
    }
    // Where singles can tell the classes apart, the values halfway between the edges are sure.
    for (std::size_t j = 0; c.guessed && j + 1 < e.size(); ++j) {
        const double mid = e[j] + (e[j + 1] - e[j]) * 0.5;
        if (mid >= c.min && mid <= c.max) {
            EXPECT_EQ(classes.OfRounded(static_cast<float>(mid)), j) << mid;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, DistributionClassesTest,
    ::testing::Values(RangeCase{0, 255, true}, RangeCase{-1.55, 1.55, true},
                      RangeCase{-300.3, -2.7, true}, RangeCase{12.5, 13.0, true},
                      RangeCase{-1e-6, 3e-6, true}, RangeCase{-3.25, -3.25, true},
                      RangeCase{-1.7e38, 1.7e38, true}, RangeCase{2.9e-39, 3.1e-39, true},
                      // An offset a million times the range: rounding moves the edges by up
                      // to a few classes, and several coincide.
                      RangeCase{1e6, 1e6 + 1e-9, false}, RangeCase{-5e15, -5e15 + 3, false}));

class DistributionCountsTest : public ::testing::TestWithParam<int> {
  protected:
    test::TempDir m_dir;
    test::RecordingNotifier m_notifier;
};

TEST_P(DistributionCountsTest, CountsAsTheDefinitionSays) {
    const int column = GetParam();
    // Columns: a sine with a ramp, a large offset with small noise (the edges crowd), values
    // that fall on the edges of their own range, a wide range of both signs.
    constexpr std::int64_t kPoints = 200'003;
    auto value = [](std::int64_t i, int col) {
        const double x = static_cast<double>(i);
        switch (col) {
            case 0:
                return std::sin(x * 1e-4) + 0.01 * static_cast<double>(i % 17);
            case 1:
                return 1e6 + 1e-10 * static_cast<double>(i % 1013);
            case 2:
                return -3.0 + static_cast<double>(i % 256) * (7.0 / 255.0);
            default:
                return std::ldexp(static_cast<double>(i % 97) - 48.0, static_cast<int>(i % 21));
        }
    };
    const std::string src = m_dir.Path("four.ktx");
    ASSERT_TRUE(test::WriteFourColumnFile(
        src, kPoints, {"V", "A", "mV", "W"},
        [](std::int64_t i) { return static_cast<double>(i) * 1e-6; },
        [&](std::int64_t i) {
            return std::array<double, 4>{value(i, 0), value(i, 1), value(i, 2), value(i, 3)};
        }));
    // The definition over the period (from an odd record on): the stored values, their
    // extremes, the first edge above each.
    const Period period = ValidatePeriod(3, kPoints);
    std::vector<double> stored;
    double min = 1e300;
    double max = -1e300;
    for (std::int64_t i = period.start; i < period.start + period.n; ++i) {
        stored.push_back(Real6::FromDouble(value(i, column)).ToDouble());
        min = std::min(min, stored.back());
        max = std::max(max, stored.back());
    }
    const auto edges = DistributionEdges(min, max);
    std::vector<double> expected(256, 0.0);
    for (const double y : stored) {
        const int j = DistributionClass(edges, y);
        if (j >= 0) {
            expected[static_cast<std::size_t>(j)] += 1;
        }
    }
    for (const std::uint64_t budget : {kDefaultFftMemoryBudget, std::uint64_t{0}}) {
        MathRequest r;
        r.source = src;
        r.layout = *DetectSource(src);
        r.column = column;
        r.period = period;
        r.function = MathFunction::Distribution;
        r.target = m_dir.Path("h.mth");
        r.memoryBudget = budget;
        ASSERT_TRUE(RunMath(r, m_notifier, NoProgress()).ok);
        const ResultTable t = test::ReadResult(r.target, WaveLayout::Math);
        ASSERT_EQ(t.rows.size(), 256u);
        for (std::size_t j = 0; j < 256; ++j) {
            EXPECT_EQ(t.rows[j][0], Real6::FromDouble(edges[j]).ToDouble()) << j;
            EXPECT_EQ(t.rows[j][1], expected[j]) << "class " << j << ", budget " << budget;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Columns, DistributionCountsTest, ::testing::Range(0, 4));

}  // namespace
}  // namespace ktx
