// SPDX-License-Identifier: GPL-3.0-or-later
// The multimeter of the type-9 family through the commands of the range and logging dialogs.
#include <gtest/gtest.h>

#include "sim_instrument.h"
#include "sim_test_support.h"

namespace ktx::sim {
namespace {

using test::Ask;
using test::Chomp;

SimConfig MeterConfig(int type = 9) {
    SimConfig config;
    config.deviceType = type;
    return config;
}

struct ReadingCase {
    const char* function;
    double expected;
};

class SimMeterReadingTest : public testing::TestWithParam<ReadingCase> {};

TEST_P(SimMeterReadingTest, ReadingFollowsTheFunction) {
    SimInstrument sim(MeterConfig());
    Ask(sim, "DIS:MOD MET;:CLEARM");
    Ask(sim, std::string("DMM:FUNC ") + GetParam().function);
    EXPECT_EQ(Chomp(Ask(sim, "DMM:FUNC?")), GetParam().function);
    EXPECT_NEAR(std::stod(Chomp(Ask(sim, "DMM:VAL?"))), GetParam().expected,
                GetParam().expected * 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Functions, SimMeterReadingTest,
                         testing::Values(ReadingCase{"ACV", 1.7678}, ReadingCase{"DCV", 1.5},
                                         ReadingCase{"OHMS", 1000.0},
                                         ReadingCase{"DIODE", 9.9e37}));

TEST(SimMeterTest, RangeHoldAndLoggingSettingsReadBack) {
    SimInstrument sim(MeterConfig());
    EXPECT_EQ(Chomp(Ask(sim, "DMM:RANGE:AUTO?")), "ON");
    // What the range dialog sends when the user picks a range.
    Ask(sim, "DMM:RANGE:AUTO OFF");
    Ask(sim, "DMM:RANGE:DCV 4V");
    EXPECT_EQ(Chomp(Ask(sim, "DMM:RANGE:AUTO?;:DMM:RANGE:DCV?")), "OFF;4V");
    Ask(sim, "DMM:RANGE:AUTO ON");
    EXPECT_EQ(Chomp(Ask(sim, "DMM:RANGE:AUTO?")), "ON");

    Ask(sim, "DMM:HOLD ON;:DMM:LOGG:SECD 30;MODE PEAK");
    EXPECT_EQ(Chomp(Ask(sim, "DMM:HOLD?;:DMM:LOGG:SECD?;MOD?")), "ON;30;PEAKDETECT");
    Ask(sim, "DMM:MEASU:MEAS3:STATE ON;TYPE MAX");
    EXPECT_EQ(Chomp(Ask(sim, "DMM:MEASU:MEAS3:STATE?;TYPE?;:DMM:MEASU:MEAS1:STATE?")), "1;MAX;0");
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "0");
}

TEST(SimMeterTest, OtherFamiliesHaveNoMeter) {
    SimInstrument sim(MeterConfig(1));
    EXPECT_EQ(Ask(sim, "DMM:FUNC DCV;:DMM:VAL?;:DMM:FUNC?"), "");
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "32");
}

}  // namespace
}  // namespace ktx::sim
