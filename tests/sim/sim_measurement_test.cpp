// SPDX-License-Identifier: GPL-3.0-or-later
// Automatic measurements computed from the simulated signals, and set-ups ("SET?") sent back
// the way the program sends them.
#include <gtest/gtest.h>

#include <cmath>

#include "sim_instrument.h"
#include "sim_test_support.h"

namespace ktx::sim {
namespace {

using test::Ask;
using test::Chomp;

SimConfig Config(int type = 1, std::int64_t recordLength = 2500) {
    SimConfig config;
    config.deviceType = type;
    config.recordLength = recordLength;
    config.seed = 7;
    return config;
}

struct MeasureCase {
    const char* source;
    const char* type;
    double expected;
    double tolerance;
    const char* unit;
};

class SimMeasurementTest : public testing::TestWithParam<MeasureCase> {};

TEST_P(SimMeasurementTest, ValuesFollowTheSignals) {
    const MeasureCase& c = GetParam();
    SimInstrument sim(Config(1, 10000));
    Ask(sim, "KTXSIM:CLOCK 0");  // the values drift with time; at 0 they are the signal's
    // The dialog's sequence: state, type, source, read back, value, unit.
    Ask(sim, "MEASU:MEAS1:STATE 1");
    Ask(sim, std::string("MEASU:MEAS1:TYP ") + c.type);
    Ask(sim, std::string("MEASU:MEAS1:SOU ") + c.source);
    EXPECT_NE(Chomp(Ask(sim, "MEASU:MEAS1:TYP?")).find(c.type), std::string::npos);
    EXPECT_EQ(Chomp(Ask(sim, "MEASU:MEAS1:SOU?")), c.source);
    EXPECT_NEAR(std::stod(Chomp(Ask(sim, "MEASU:MEAS1:VAL?"))), c.expected, c.tolerance);
    EXPECT_EQ(Chomp(Ask(sim, "MEASU:MEAS1:UNI?")), std::string("\"") + c.unit + "\"");
}

INSTANTIATE_TEST_SUITE_P(Signals, SimMeasurementTest,
                         testing::Values(MeasureCase{"CH1", "FREQ", 1000.0, 10.0, "Hz"},
                                         MeasureCase{"CH1", "PERIOD", 1.0e-3, 1.0e-5, "s"},
                                         MeasureCase{"CH1", "PK2PK", 5.0, 0.2, "V"},
                                         MeasureCase{"CH1", "MEAN", 0.0, 0.02, "V"},
                                         MeasureCase{"CH1", "CRMS", 2.5 / std::sqrt(2.0), 0.05,
                                                     "V"},
                                         MeasureCase{"CH2", "FREQUENCY", 2000.0, 20.0, "Hz"},
                                         MeasureCase{"CH2", "PWIDTH", 2.5e-4, 5e-6, "s"},
                                         MeasureCase{"CH2", "NWI", 2.5e-4, 5e-6, "s"},
                                         MeasureCase{"CH4", "FREQ", 500.0, 5.0, "Hz"},
                                         MeasureCase{"CH4", "MAXIMUM", 3.7, 0.2, "V"},
                                         MeasureCase{"REF1", "FREQ", 9.9e37, 1e33, "Hz"}));

TEST(SimMeasurementSlotTest, ImmediateSlotIsSeparateAndFlatLinesHaveNoFrequency) {
    SimInstrument sim(Config(2));
    // The clock held at 0: a reading taken later drifts, and a slow build reads later.
    Ask(sim, "KTXSIM:CLOCK 0");
    Ask(sim, "DATA:ENC ASCII;WID 2;:DATA:DEST REF2;:CURVE 100,100,100,100");
    Ask(sim, "MEASU:IMM:TYP FREQ;SOU REF2;:MEASU:MEAS2:TYP MEAN");
    EXPECT_EQ(Chomp(Ask(sim, "MEASU:IMM:VAL?")), "9.9E37");
    EXPECT_EQ(Chomp(Ask(sim, "MEASU:IMM:TYP?;:MEASU:MEAS2:TYP?;SOU?")), "FREQUENCY;MEAN;CH1");
    Ask(sim, "MEASU:IMM:TYP MEAN");
    // 100 levels of 6400 per division at 1 V/div.
    EXPECT_EQ(Chomp(Ask(sim, "MEASU:IMM:VAL?")), "1.5625E-2");
}

TEST(SimSetupTest, SetupSentBackInGroupsRestoresTheSettings) {
    SimInstrument sim(Config());
    Ask(sim, "DATA:SOURCE CH3;ENC SRP;WID 2;START 11;STOP 222;:SEL:CH2 ON;:ACQ:STOPA SEQ");
    Ask(sim, "HEADER ON");
    const std::string setup = Ask(sim, "SET?");
    Ask(sim, "*RST");
    ASSERT_NE(Ask(sim, "SET?"), setup);
    // The program sends the file in groups ending with ";:" and no terminator of its own.
    std::size_t start = 0;
    while (start < setup.size()) {
        std::size_t end = setup.find(";:", start);
        end = end == std::string::npos ? setup.size() : std::min(end + 2, start + 481);
        sim.Receive(setup.substr(start, end - start));
        start = end;
    }
    EXPECT_EQ(Ask(sim, "SET?"), setup);
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "0");
}

}  // namespace
}  // namespace ktx::sim
