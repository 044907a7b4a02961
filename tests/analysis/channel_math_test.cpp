// SPDX-License-Identifier: GPL-3.0-or-later
// One-channel math: the five functions against closed forms and the faults they must not have.
#include "analysis/channel_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "analysis/analysis_test_files.h"
#include "test_files.h"
#include "view/view_test_files.h"

namespace ktx {
namespace {

constexpr double kPi = std::numbers::pi;

class ChannelMathTest : public ::testing::Test {
  protected:
    MathOutcome Run(const std::string& source, MathFunction f, const std::string& targetName,
                    int factor = 5, std::optional<Period> period = {}) {
        const auto layout = DetectSource(source);
        EXPECT_TRUE(layout.has_value());
        MathRequest r;
        r.source = source;
        r.layout = *layout;
        r.period = period.value_or(ValidatePeriod(0, layout->DataRecords()));
        r.function = f;
        r.smoothing = factor;
        r.target = m_dir.Path(targetName);
        r.protectedFiles = {source};
        return RunMath(r, m_notifier, NoProgress());
    }
    test::TempDir m_dir;
    test::RecordingNotifier m_notifier;
};

struct SmallCase {
    const char* name;
    MathFunction function;
    std::vector<double> values;
    std::vector<double> seconds;  // empty: 1 ms apart
    int factor;
    std::vector<double> expected;
    std::vector<double> expectedTimes;
    const char* unit;
};

class ChannelMathSmallTest : public ChannelMathTest,
                             public ::testing::WithParamInterface<SmallCase> {};

TEST_P(ChannelMathSmallTest, WritesTheExpectedRecords) {
    const SmallCase& c = GetParam();
    const std::string src = m_dir.Path("src.ktx");
    std::function<double(std::int64_t)> seconds;
    if (!c.seconds.empty()) {
        seconds = [&c](std::int64_t i) { return c.seconds[static_cast<std::size_t>(i)]; };
    }
    ASSERT_TRUE(test::WriteValues(src, c.values, seconds));
    const MathOutcome o = Run(src, c.function, "out.ktx", c.factor);
    ASSERT_TRUE(o.ok);
    const test::OneColumn out = test::ReadOneColumn(m_dir.Path("out.ktx"));
    EXPECT_EQ(out.unit, c.unit);
    EXPECT_EQ(out.version, 12.345f);
    ASSERT_EQ(out.y.size(), c.expected.size());
    EXPECT_EQ(o.records, static_cast<std::int64_t>(c.expected.size()));
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
        // Times are singles: 1 ms steps carry a relative error of about 1e-7.
        EXPECT_NEAR(out.y[i], c.expected[i], 1e-6 * std::max(1e-3, std::fabs(c.expected[i]))) << i;
        EXPECT_NEAR(out.t[i], c.expectedTimes[i], 1e-9) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ChannelMathSmallTest,
    ::testing::Values(SmallCase{"RampDerivative",
                                MathFunction::Differentiate,
                                {0, 0.002, 0.004, 0.006},
                                {},
                                5,
                                {2, 2, 2},
                                {0.001, 0.002, 0.003},
                                "V/s"},
                      SmallCase{"ConstantIntegral",
                                MathFunction::Integrate,
                                {1, 1, 1, 1},
                                {},
                                5,
                                {0.001, 0.002, 0.003},
                                {0.001, 0.002, 0.003},
                                "V*s"},
                      SmallCase{"Inversion",
                                MathFunction::Invert,
                                {1.5, -2, 0, 4},
                                {},
                                5,
                                {-1.5, 2, 0, -4},
                                {0, 0.001, 0.002, 0.003},
                                "V"},
                      // F = 3 of 0, 3, 0, 3: 1 and 2, stamped with the middle samples 2 and 3.
                      SmallCase{"SmoothingThree",
                                MathFunction::Smooth,
                                {0, 3, 0, 3},
                                {},
                                3,
                                {1, 2},
                                {0.001, 0.002},
                                "V"},
                      // Equal time stamps: the limit with the sign of the change, 0 for no change.
                      SmallCase{"DerivativeOfEqualTimes",
                                MathFunction::Differentiate,
                                {1, 3, 3, 2},
                                {0.5, 0.5, 0.5, 0.5},
                                5,
                                {1.7e37, 0, -1.7e37},
                                {0.5, 0.5, 0.5},
                                "V/s"},
                      // An even smoothing factor counts as the odd one below it.
                      SmallCase{"SmoothingEightIsSeven",
                                MathFunction::Smooth,
                                {7, 0, 0, 0, 0, 0, 0, 7},
                                {},
                                8,
                                {1, 1},
                                {0.003, 0.004},
                                "V"}),
    [](const ::testing::TestParamInfo<SmallCase>& info) { return std::string(info.param.name); });

TEST_F(ChannelMathTest, SineDerivativeAndIntegralAgainstClosedForms) {
    // One period of sin(2 pi t) in 1024 steps of 1/1024 s (exact in the time fields).
    const int n = 1024;
    const double dt = 1.0 / n;
    const double w = 2 * kPi;
    const std::string src = m_dir.Path("sine.ktx");
    ASSERT_TRUE(test::WriteOneColumnFile(
        src, n, [dt](std::int64_t i) { return i * dt; },
        [&](std::int64_t i) { return std::sin(w * i * dt); }));

    ASSERT_TRUE(Run(src, MathFunction::Differentiate, "d.ktx").ok);
    const test::OneColumn d = test::ReadOneColumn(m_dir.Path("d.ktx"));
    ASSERT_EQ(d.y.size(), static_cast<std::size_t>(n - 1));
    for (int j = 1; j < n; ++j) {
        const double t0 = (j - 1) * dt;
        const double t1 = j * dt;
        // (sin w t1 - sin w t0) / dt exactly, and near the derivative w cos w t.
        const double exact = 2 / dt * std::cos(w * (t0 + t1) / 2) * std::sin(w * dt / 2);
        EXPECT_NEAR(d.y[j - 1], exact, 1e-8) << j;
        EXPECT_NEAR(d.y[j - 1], w * std::cos(w * (t0 + t1) / 2), w * w * w * dt * dt / 24 + 1e-8);
        EXPECT_EQ(d.t[j - 1], t1);
    }

    ASSERT_TRUE(Run(src, MathFunction::Integrate, "i.ktx").ok);
    const test::OneColumn in = test::ReadOneColumn(m_dir.Path("i.ktx"));
    ASSERT_EQ(in.y.size(), static_cast<std::size_t>(n - 1));
    // The trapezoid rule's error bound: T dt^2 max|f''| / 12.
    const double bound = 1.0 * dt * dt * w * w / 12;
    for (int j = 1; j < n; ++j) {
        const double t = j * dt;
        EXPECT_NEAR(in.y[j - 1], (1 - std::cos(w * t)) / w, bound) << j;
    }
    EXPECT_EQ(in.unit, "V*s");
}

TEST_F(ChannelMathTest, SmoothingOfConstantPlusPeriodFIsConstant) {
    // c + p(i mod F): every window of F samples sees one whole period, so every average is
    // c + mean(p), over half a million samples (many re-summations of the running sum).
    const int f = 7;
    const double p[f] = {3, -1, 4, -1, 5, -9, 2.5};
    double mean = 0;
    for (double v : p) {
        mean += v / f;
    }
    const std::int64_t n = 500000;
    const std::string src = m_dir.Path("c.ktx");
    ASSERT_TRUE(test::WriteOneColumnFile(
        src, n, [](std::int64_t i) { return i * 1e-6; },
        [&](std::int64_t i) { return 1000.0 + p[i % f]; }));
    const MathOutcome o = Run(src, MathFunction::Smooth, "s.ktx", f);
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.records, n - f + 1);
    const test::OneColumn s = test::ReadOneColumn(m_dir.Path("s.ktx"));
    double worst = 0;
    for (double v : s.y) {
        worst = std::max(worst, std::fabs(v - (1000.0 + mean)));
    }
    EXPECT_LT(worst, 1e-9);
}

TEST_F(ChannelMathTest, SmoothingRefusesFewerSamplesThanTheFactor) {
    const std::string src = m_dir.Path("few.ktx");
    ASSERT_TRUE(test::WriteValues(src, {1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_FALSE(Run(src, MathFunction::Smooth, "s.ktx", 9).ok);
    ASSERT_EQ(m_notifier.shown.size(), 1u);
    EXPECT_EQ(m_notifier.shown[0].stringId, 10014);
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path("s.ktx")));
    // Exactly F samples: one average.
    const MathOutcome o = Run(src, MathFunction::Smooth, "s.ktx", 7, ValidatePeriod(1, 8));
    EXPECT_FALSE(o.ok);  // N = 7 rounds down to 6 < 7
    ASSERT_TRUE(Run(src, MathFunction::Smooth, "s.ktx", 7, ValidatePeriod(0, 8)).ok);
    EXPECT_EQ(test::ReadOneColumn(m_dir.Path("s.ktx")).y.size(), 2u);
}

TEST_F(ChannelMathTest, DistributionOfARamp) {
    // 0, 1, ..., 255 twice: w = 1, k0 = 0, e[i] = i + 1. Class 0 takes 0 and 1 (everything
    // below e[1]), the value v > 1 class v - 1, so 255 lands in class 254 and class 255 stays
    // empty.
    std::vector<double> v;
    for (int r = 0; r < 2; ++r) {
        for (int i = 0; i < 256; ++i) {
            v.push_back(i);
        }
    }
    const std::string src = m_dir.Path("ramp.ktx");
    ASSERT_TRUE(test::WriteValues(src, v));
    ASSERT_TRUE(Run(src, MathFunction::Distribution, "h.mth").ok);
    const ResultTable t = test::ReadResult(m_dir.Path("h.mth"), WaveLayout::Math);
    ASSERT_EQ(t.fault, ResultFault::None);
    EXPECT_EQ(t.units, (UnitStrings{"V", "cnt", "#", "#"}));
    ASSERT_EQ(t.rows.size(), 256u);
    double total = 0;
    for (int i = 0; i < 256; ++i) {
        EXPECT_NEAR(t.rows[i][0], i + 1, 1e-9);
        total += t.rows[i][1];
    }
    EXPECT_EQ(t.rows[0][1], 4);  // 0 and 1
    for (int i = 1; i <= 254; ++i) {
        EXPECT_EQ(t.rows[i][1], 2) << i;  // the value i + 1
    }
    EXPECT_EQ(t.rows[255][1], 0);
    EXPECT_EQ(total, 512);
    EXPECT_EQ(DistributionClass(DistributionEdges(0, 255), 0.5), 0);
}

TEST_F(ChannelMathTest, DistributionOfAConstantPutsEverySampleInOneClass) {
    const std::string src = m_dir.Path("const.ktx");
    ASSERT_TRUE(test::WriteValues(src, std::vector<double>(100, -3.25)));
    ASSERT_TRUE(Run(src, MathFunction::Distribution, "h.mth").ok);
    const ResultTable t = test::ReadResult(m_dir.Path("h.mth"), WaveLayout::Math);
    ASSERT_EQ(t.rows.size(), 256u);
    EXPECT_EQ(t.rows[0][1], 100);
    for (const auto& row : t.rows) {
        EXPECT_TRUE(std::isfinite(row[0]));
    }
    EXPECT_EQ(t.rows[1][0] - t.rows[0][0], 1.0);  // width 1
}

struct EdgeCase {
    double min, max;
};
class DistributionEdgesTest : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(DistributionEdgesTest, FirstEdgeWithinOneWidthAboveTheMinimum) {
    // k0 = floor(min / w): the smallest sample lies in [e[0] - w, e[0]), so the classes
    // around zero are one width wide for signals with negative values too.
    const auto [min, max] = GetParam();
    const auto e = DistributionEdges(min, max);
    const double w = (max - min) / 255;
    EXPECT_LE(e[0] - w, min + 1e-12 * std::fabs(min));
    EXPECT_GT(e[0], min);
    EXPECT_EQ(DistributionClass(e, min), 0);
    EXPECT_GE(DistributionClass(e, max), 253);
    for (int j = 1; j < 255; ++j) {
        EXPECT_NEAR(e[j + 1] - e[j], w, 1e-9 * (std::fabs(e[j]) + w));
    }
    // Every class is the first one whose upper edge lies above the value.
    for (double y = min; y <= max; y += (max - min) / 997) {
        const int j = DistributionClass(e, y);
        ASSERT_GE(j, 0);
        EXPECT_LT(y, e[j + 1]);
        if (j > 0) {
            EXPECT_GE(y, e[j]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Ranges, DistributionEdgesTest,
                         ::testing::Values(EdgeCase{0, 255}, EdgeCase{-1.55, 1.55}, EdgeCase{-1, 1},
                                           EdgeCase{-300.3, -2.7}, EdgeCase{12.5, 13.0},
                                           EdgeCase{-1e-6, 3e-6}));

TEST_F(ChannelMathTest, TargetInsideSourceByAnyName) {
    const std::string src = m_dir.Path("w.ktx");
    ASSERT_TRUE(test::WriteValues(src, {1, 2, 3, 4, 5, 6}));
    std::filesystem::create_hard_link(src, m_dir.Path("hard.ktx"));
    std::filesystem::create_symlink(src, m_dir.Path("soft.ktx"));
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::path(src).parent_path());
    EXPECT_TRUE(TargetInsideSource("./w.ktx", {src}));
    EXPECT_TRUE(TargetInsideSource("w.ktx", {src}));  // the text test
    EXPECT_TRUE(TargetInsideSource("hard.ktx", {src}));
    EXPECT_TRUE(TargetInsideSource("soft.ktx", {src}));
    EXPECT_FALSE(TargetInsideSource("other.ktx", {src}));
    std::filesystem::current_path(cwd);
    // Written anyway: SafeFile refuses it and the source keeps its records.
    EXPECT_FALSE(Run(src, MathFunction::Invert, "soft.ktx").ok);
    EXPECT_FALSE(Run(src, MathFunction::Invert, "hard.ktx").ok);
    EXPECT_EQ(test::ReadOneColumn(src).y, (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(m_notifier.shown.back().stringId, 10007);
}

TEST_F(ChannelMathTest, WrongExtensionAndAbort) {
    const std::string src = m_dir.Path("w.ktx");
    ASSERT_TRUE(test::WriteValues(src, {1, 2, 3, 4, 5, 6}));
    EXPECT_FALSE(Run(src, MathFunction::Distribution, "h.ktx").ok);
    EXPECT_EQ(m_notifier.shown.back().stringId, 10012);
    EXPECT_FALSE(Run(src, MathFunction::Invert, "h.mth").ok);
    EXPECT_EQ(m_notifier.shown.back().stringId, 10012);

    MathRequest r;
    r.source = src;
    r.layout = *DetectSource(src);
    r.period = ValidatePeriod(0, 6);
    r.function = MathFunction::Distribution;
    r.target = m_dir.Path("h.mth");
    const MathOutcome o = RunMath(r, m_notifier, NoProgress(), [] { return false; });
    EXPECT_TRUE(o.aborted);
    EXPECT_FALSE(std::filesystem::exists(r.target));

    // "Abbruch" at every block of both passes over a period long enough for the second pass to
    // count on two threads: nothing is written, and no thread outlives the run.
    std::vector<double> values(300'000);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = std::sin(static_cast<double>(i) * 1e-3);
    }
    ASSERT_TRUE(test::WriteValues(src, values));
    r.layout = *DetectSource(src);
    r.period = ValidatePeriod(0, static_cast<std::int64_t>(values.size()));
    // Five blocks in the first pass: later stops fall into the second.
    int stopAt = 1;
    for (; stopAt < 20; ++stopAt) {
        int asked = 0;
        const MathOutcome o2 =
            RunMath(r, m_notifier, NoProgress(), [&] { return ++asked < stopAt; });
        if (!o2.aborted) {
            EXPECT_TRUE(o2.ok);
            break;
        }
        EXPECT_FALSE(std::filesystem::exists(r.target)) << stopAt;
    }
    EXPECT_GT(stopAt, 6);
}

}  // namespace
}  // namespace ktx
