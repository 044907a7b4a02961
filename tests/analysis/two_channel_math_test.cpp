// SPDX-License-Identifier: GPL-3.0-or-later
// Two-channel math: the four operations with their limits, the units, unequal lengths and
// whose time stamps the result carries.
#include "analysis/two_channel_math.h"

#include <gtest/gtest.h>

#include <cmath>

#include "analysis/analysis_test_files.h"
#include "analysis/channel_math.h"
#include "test_files.h"
#include "view/view_test_files.h"

namespace ktx {
namespace {

struct ValueCase {
    Math2Function function;
    double a, b, expected;
};
class Math2ValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(Math2ValueTest, Operation) {
    const ValueCase& c = GetParam();
    EXPECT_DOUBLE_EQ(Math2Value(c.function, c.a, c.b), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, Math2ValueTest,
    ::testing::Values(ValueCase{Math2Function::Add, 1.5, 2, 3.5},
                      ValueCase{Math2Function::Add, 1e38, 1e38, 1.7e37},  // limited
                      ValueCase{Math2Function::Subtract, 1, 3, -2},
                      ValueCase{Math2Function::Subtract, -1e38, 1e38, -1.7e37},
                      ValueCase{Math2Function::Multiply, -2, 3, -6},
                      ValueCase{Math2Function::Divide, 6, 3, 2},
                      ValueCase{Math2Function::Divide, 6, -3, -2},  // negative divisors divide
                      ValueCase{Math2Function::Divide, -6, -0.5, 12},
                      ValueCase{Math2Function::Divide, 6, 0, 1.7e37},
                      ValueCase{Math2Function::Divide, -6, 0, 1.7e37},
                      ValueCase{Math2Function::Divide, 1e30, 1e-30, 1.7e37}));

TEST(Math2Units, JoinedAndCutToFourCharacters) {
    EXPECT_EQ(Math2Unit(Math2Function::Add, "V", "A"), "V");
    EXPECT_EQ(Math2Unit(Math2Function::Subtract, "mV", "V"), "mV");
    EXPECT_EQ(Math2Unit(Math2Function::Multiply, "V", "A"), "V*A");
    EXPECT_EQ(Math2Unit(Math2Function::Multiply, "mV", "mA"), "mV*m");
    EXPECT_EQ(Math2Unit(Math2Function::Divide, "V", "A"), "V/A");
}

TEST(Math2Run, ShorterSourceTimesOfSourceTwoAndColumns) {
    test::TempDir dir;
    test::RecordingNotifier notifier;
    // 1000 and 800 data records (1001 and 801 with the header); source 2 four-column with
    // channels 1 and 3, column 3 chosen; its own time stamps.
    const std::string s1 = dir.Path("a.ktx");
    const std::string s2 = dir.Path("b.ktx");
    ASSERT_TRUE(test::WriteOneColumnFile(
        s1, 1000, [](std::int64_t i) { return i * 1e-3; }, [](std::int64_t i) { return i; }));
    ASSERT_TRUE(test::WriteFourColumnFile(
        s2, 800, {"#", "A", "#", "mA"}, [](std::int64_t i) { return 7.0 + i * 0.5; },
        [](std::int64_t i) {
            return std::array<double, 4>{0, 99, 0, i % 5 == 0 ? 0.0 : -2.0};
        }));
    Math2Request r;
    r.source1 = {s1, *DetectSource(s1), 0};
    r.source2 = {s2, *DetectSource(s2), 3};
    r.function = Math2Function::Divide;
    r.target = dir.Path("q.ktx");
    r.protectedFiles = {s1, s2};
    const Math2Outcome o = RunMath2(r, notifier, NoProgress());
    ASSERT_TRUE(o.ok);
    EXPECT_TRUE(o.lengthsDiffer);
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].stringId, 10309);
    EXPECT_EQ(notifier.shown[0].severity, Severity::Info);
    const test::OneColumn q = test::ReadOneColumn(r.target);
    EXPECT_EQ(q.unit, "V/mA");
    ASSERT_EQ(q.y.size(), 800u);
    for (std::size_t i = 0; i < q.y.size(); ++i) {
        EXPECT_EQ(q.t[i], 7.0 + static_cast<double>(i) * 0.5);
        const double expected = i % 5 == 0 ? 1.7e37 : static_cast<double>(i) / -2.0;
        EXPECT_NEAR(q.y[i], expected, 1e-11 * std::fabs(expected)) << i;
    }
}

TEST(Math2Run, TargetWithAnotherExtensionOrBeingASourceIsRefused) {
    test::TempDir dir;
    test::RecordingNotifier notifier;
    const std::string s1 = dir.Path("a.ktx");
    ASSERT_TRUE(test::WriteValues(s1, {1, 2, 3, 4}));
    Math2Request r;
    r.source1 = r.source2 = {s1, *DetectSource(s1), 0};
    r.target = dir.Path("x.mth");
    EXPECT_FALSE(RunMath2(r, notifier, NoProgress()).ok);
    EXPECT_EQ(notifier.shown.back().stringId, 10012);
    r.target = s1;
    r.protectedFiles = {s1};
    EXPECT_FALSE(RunMath2(r, notifier, NoProgress()).ok);
    EXPECT_EQ(notifier.shown.back().stringId, 10007);
    EXPECT_EQ(test::ReadOneColumn(s1).y, (std::vector<double>{1, 2, 3, 4}));
}

}  // namespace
}  // namespace ktx
