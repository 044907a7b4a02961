// SPDX-License-Identifier: GPL-3.0-or-later
// The multimeter of the type-9 family through the commands of the range and logging dialogs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    Ask(sim, "KTXSIM:CLOCK 0;:DIS:MOD MET;:CLEARM");
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

// Over range, continuity and the invalid-result switch, for both command sets: each row is a
// set-up, the clock to hold, a query and the answer expected.
struct MeterAnswerCase {
    const char* name;
    int type;
    const char* setup;
    const char* query;
    const char* expected;  // exact answer, or a prefix ending in "*"
};

class SimMeterAnswerTest : public testing::TestWithParam<MeterAnswerCase> {};

TEST_P(SimMeterAnswerTest, AnswerFollowsRangeAndState) {
    const MeterAnswerCase& c = GetParam();
    SimInstrument sim(MeterConfig(c.type));
    if (*c.setup != '\0') {
        Ask(sim, c.setup);
    }
    const std::string answer = Chomp(Ask(sim, c.query));
    const std::string expected = c.expected;
    if (!expected.empty() && expected.back() == '*') {
        EXPECT_EQ(answer.substr(0, expected.size() - 1), expected.substr(0, expected.size() - 1))
            << answer;
    } else {
        EXPECT_EQ(answer, expected);
    }
}

// Status layout (from 1): 24 range digit, 27-28 status byte, 29 auto range, 33-34 "0D"
// continuity, 35-36 function number in hexadecimal.
INSTANTIATE_TEST_SUITE_P(
    Cases, SimMeterAnswerTest,
    testing::Values(
        // Type 9: a manual range below the reading is over range; auto range is not.
        MeterAnswerCase{"DcvIn400mV", 9, "KTXSIM:CLOCK 0;:DMM:FUNC DCV;:DMM:RANGE:DCV 400E-3",
                        "DMM:VAL?", "9.9E37"},
        MeterAnswerCase{"DcvIn4V", 9, "KTXSIM:CLOCK 0;:DMM:FUNC DCV;:DMM:RANGE:DCV 4", "DMM:VAL?",
                        "1.5*"},
        MeterAnswerCase{"OhmsIn400Ohm", 9, "KTXSIM:CLOCK 0;:DMM:FUNC OHMS;:DMM:RANGE:OHMS 400",
                        "DMM:VAL?", "9.9E37"},
        MeterAnswerCase{"ContinuityOpen", 9, "KTXSIM:CLOCK 1;:DMM:FUNC CONT", "DMM:VAL?", "9.9E37"},
        MeterAnswerCase{"ContinuityClosed", 9, "KTXSIM:CLOCK 6;:DMM:FUNC CONT", "DMM:VAL?", "5.0*"},
        // The invalid-result switch counts down: the second value is valid again.
        MeterAnswerCase{"InvalidOnce", 9, "KTXSIM:INVALID 1;:KTXSIM:CLOCK 0;:DMM:FUNC DCV",
                        "DMM:VAL?;:DMM:VAL?", "9.9E37;1.5*"},
        MeterAnswerCase{"InvalidAlways", 1, "KTXSIM:INVALID -1;:MEASU:MEAS1:TYP FREQ",
                        "MEASU:MEAS1:VAL?;VAL?;VAL?", "9.9E37;9.9E37;9.9E37"},
        // Type 20: function 05 (Ohm) in range 01 (400 Ohm) reads 1 kOhm: over range on both
        // values (the secondary is the same quantity).
        MeterAnswerCase{"HandheldOhmOver", 20, "KTXSIM:CLOCK 0;:!T05,01", "!h00?",
                        "h00000000000000000000001000A00000005"},
        MeterAnswerCase{"HandheldOhmOverValue", 20, "KTXSIM:CLOCK 0;:!T05,01", "!M?", "M0;9.9E37"},
        MeterAnswerCase{"HandheldVacOverMainOnly", 20, "KTXSIM:CLOCK 0;:!T02,01", "!h00?",
                        "h00000000000000000000001000200000002"},
        MeterAnswerCase{"HandheldFrequencyAuto", 20, "KTXSIM:CLOCK 0;:!T09,A", "!h00?",
                        "h00000000000000000000000000010000009"},
        MeterAnswerCase{"HandheldContinuityOpen", 20, "KTXSIM:CLOCK 1;:!T10,A", "!h00?",
                        "h00000000000000000000000000A10000D0A"},
        MeterAnswerCase{"HandheldContinuityClosed", 20, "KTXSIM:CLOCK 6;:!T10,A", "!h00?",
                        "h00000000000000000000000001010000D0A"},
        // Codes outside the function's range table are refused.
        MeterAnswerCase{"HandheldAmpRange03", 20, "", "!T03,03", "T1"},
        MeterAnswerCase{"HandheldOhmRange06", 20, "", "!T05,06", "T0"},
        MeterAnswerCase{"HandheldCelsiusRange01", 20, "", "!T07,01", "T1"},
        MeterAnswerCase{"HandheldDiodeRange01", 20, "", "!T11,01", "T1"}),
    [](const testing::TestParamInfo<MeterAnswerCase>& info) { return info.param.name; });

TEST(SimMeterTest, ReadingsDriftWithTheClockAndRepeatAtTheSameTime) {
    SimInstrument sim(MeterConfig(20));
    std::vector<std::string> readings;
    for (const char* t : {"0", "15", "30", "15"}) {
        Ask(sim, std::string("KTXSIM:CLOCK ") + t);
        readings.push_back(Chomp(Ask(sim, "!M?")));
    }
    EXPECT_NE(readings[0], readings[1]);
    EXPECT_NE(readings[1], readings[2]);
    EXPECT_EQ(readings[1], readings[3]);
    EXPECT_EQ(readings[0], "M0;1.5E0");
}

// A single sequence waits out the sequence delay on the instrument's clock (held here, so
// nothing depends on how fast the test runs).
TEST(SimSequenceTest, SingleSequenceTriggersAfterTheDelay) {
    SimInstrument sim(MeterConfig(1));
    Ask(sim, "KTXSIM:CLOCK 10;:KTXSIM:SEQUENCE:DELAY 1000");
    Ask(sim, "ACQ:STOPA SEQ;:ACQ:STATE RUN");
    EXPECT_EQ(Chomp(Ask(sim, "TRIG:STATE?;:ACQ:STATE?")), "READY;1");
    Ask(sim, "KTXSIM:CLOCK 10.5");
    EXPECT_EQ(Chomp(Ask(sim, "TRIG:STATE?")), "READY");
    Ask(sim, "KTXSIM:CLOCK 11");
    EXPECT_EQ(Chomp(Ask(sim, "TRIG:STATE?;:ACQ:STATE?")), "SAVE;0");
    // Without a delay the sequence is complete at once.
    Ask(sim, "KTXSIM:SEQUENCE:DELAY 0;:ACQ:STATE RUN");
    EXPECT_EQ(Chomp(Ask(sim, "TRIG:STATE?;:KTXSIM:SEQ:DEL?")), "SAVE;0");
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "0");
}

// The tools' command sequences as the measurement, logger, scanner and multimeter dialogs send
// them, per family: none may count as an error, and each query must answer.
struct ToolSequenceCase {
    const char* name;
    int type;
    std::vector<const char*> commands;  // settings and queries, one message each
};

class SimToolSequenceTest : public testing::TestWithParam<ToolSequenceCase> {};

TEST_P(SimToolSequenceTest, EveryCommandIsTakenAndEveryQueryAnswers) {
    SimInstrument sim(MeterConfig(GetParam().type));
    for (const std::string command : GetParam().commands) {
        const std::string answer = Ask(sim, command);
        if (command.find('?') != std::string::npos) {
            EXPECT_FALSE(Chomp(answer).empty()) << command;
        }
        EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "0") << command;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, SimToolSequenceTest,
    testing::Values(
        ToolSequenceCase{"MeasureImm",
                         2,
                         {"HEADER OFF", "VERBOSE ON", "MEASU:IMM:STATE 1", "MEASU:IMM:TYP FREQ",
                          "MEASU:IMM:SOU CH1", "MEASU:IMM:TYP?", "MEASU:IMM:SOU?", "MEASU:IMM:VAL?",
                          "MEASU:IMM:UNI?"}},
        ToolSequenceCase{
            "LoggerFourSlots",
            12,
            {"HEADER OFF", "VERBOSE ON", "MEASU:MEAS4:STATE 1", "MEASU:MEAS4:TYP PK2PK",
             "MEASU:MEAS4:SOU CH2", "MEASU:MEAS4:VAL?", "MEASU:MEAS4:UNI?", "ACQ:STOPA SEQ",
             "TRIG:STATE?", "TRIG:STATE?", "ACQ:STATE RUN", "ACQ:STOPA RUNST", "ACQ:STATE RUN"}},
        ToolSequenceCase{
            "LoggerMeter",
            9,
            {"DIS:MOD MET", "DMM:FUNC?", "DMM:FUNC DCV", "DMM:RANGE:AUTO ON", "DMM:VAL?"}},
        ToolSequenceCase{"ScannerWfmpre",
                         1,
                         {"ACQ:STATE?", "ACQ:STATE STOP", "DATA INIT", "DATA:ENC ASCI",
                          "DATA:START 1", "DATA:STOP 100", "DATA:SOURCE CH2", "HEADER ON",
                          "VERB ON", "CURV?", "HEADER OFF", "WFMPRE:CH2:YOFF?", "WFMPRE:CH2:YMULT?",
                          "WFMPRE:CH2:XINCR?", "WFMPRE:CH2:PT_OFF?", "ACQ:STATE RUN"}},
        ToolSequenceCase{"ScannerWfmo",
                         14,
                         {"DATA INIT", "DATA:ENC ASCI", "DATA:START 11", "DATA:STOP 20",
                          "DATA:SOURCE CH1", "HEADER ON", "VERB ON", "CURV?", "HEADER OFF",
                          "WFMO:YOFF?", "WFMO:YMULT?", "WFMO:XINCR?", "WFMO:PT_OFF?"}},
        ToolSequenceCase{
            "HandheldMeter", 20, {"!h00?", "!T05,A", "!T05,03", "!h00?", "!M?", "!U?", "!T02,A"}},
        ToolSequenceCase{"MeterRangeDialog",
                         9,
                         {"DIS:MOD?", "DMM:FUNC?", "DMM:RANGE:AUTO?", "DMM:RANGE:AUTO OFF",
                          "DMM:RANGE:DCV 4", "CLEARM", "DMM:RANGE:DCV?", "DMM:LOGG:SECD?",
                          "DMM:HOLD?", "DMM:HOLD ON", "DMM:LOGG:SECD 480", "DMM:MEASU:MEAS1:STATE?",
                          "DMM:MEASU:MEAS2:TYPE?", "DMM:MEASU:MEAS3:STATE ON",
                          "DMM:MEASU:MEAS3:TYPE AVERAGE", "DMM:LOGG:MOD?", "DMM:LOGG:MODE PEAK"}}),
    [](const testing::TestParamInfo<ToolSequenceCase>& info) { return info.param.name; });

}  // namespace
}  // namespace ktx::sim
