// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated instrument through its command language: parsing, answer shapes, curves in
// every encoding, point ranges, acquisition, identification of each family, fault switches.
#include "sim_instrument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "sim_test_support.h"
#include "waveform_generator.h"

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

// --- parser -----------------------------------------------------------------------------

struct FormCase {
    const char* command;
    const char* answer;
};

class SimParserFormTest : public testing::TestWithParam<FormCase> {};

TEST_P(SimParserFormTest, ShortLongAndAnyCaseGiveTheSameAnswer) {
    SimInstrument sim(Config());
    EXPECT_EQ(Chomp(Ask(sim, GetParam().command)), GetParam().answer) << GetParam().command;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SimParserFormTest,
    testing::Values(FormCase{"DATA:SOURCE CH2;:DATA:SOURCE?", "CH2"},
                    FormCase{"dat:sou ch3;:data:source?", "CH3"},
                    FormCase{"DATa:ENCdg SRIbinary;:DAT:ENC?", "SRIBINARY"},
                    FormCase{"data:enc asci;:data:encdg?", "ASCII"},
                    FormCase{"DATA:WIDTH 2;:DAT:WID?", "2"},
                    FormCase{"HORIZONTAL:RECORDLENGTH?", "2500"}, FormCase{"hor:reco?", "2500"},
                    FormCase{"HOR:ACQLENGTH?", "2500"}, FormCase{"WFMPRE:CH1:YMULT?", "4.0E-2"},
                    FormCase{"wfmp:ch1:ymu?", "4.0E-2"},
                    FormCase{"DATA:WID 2;:WFMPRE:CH1:YMULT?", "1.5625E-4"},
                    FormCase{"WFMPRE:CH2:YOFF?", "2.5E1"}, FormCase{"WFMPRE:CH1:XINCR?", "4.0E-6"},
                    FormCase{"WFMPRE:CH1:YUNIT?", "\"V\""}, FormCase{"WFMPRE:XUNIT?", "\"s\""},
                    FormCase{"SELECT:CH1?;CH2?", "1;0"}, FormCase{"SEL:REF1 ON;REF1?", "1"},
                    FormCase{"ACQUIRE:STATE?", "1"}, FormCase{"acq:state stop;state?", "0"}));

TEST(SimParserTest, PathRuleAppliesAfterSemicolonAndColonResetsIt) {
    SimInstrument sim(Config());
    // "ENC RIB" continues below DATA; ":HEADER ON" starts at the root.
    EXPECT_EQ(Chomp(Ask(sim, "DATA:SOURCE CH2;ENC RPB;WID 2;:WFMPRE:CH2:BN_FMT?;BYT_NR?")), "RP;2");
    // Several queries in one message share one answer line, separated by ";".
    EXPECT_EQ(Chomp(Ask(sim, "WFMPRE:CH1:NR_PT?;PT_OFF?;:DATA:SOURCE?")), "2500;1250;CH2");
    // The path does not carry over to the next message.
    EXPECT_EQ(Ask(sim, "SOURCE?"), "");
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "32");
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "0");
}

TEST(SimParserTest, UnknownCommandsAreIgnoredAndQueued) {
    SimInstrument sim(Config());
    EXPECT_EQ(Ask(sim, "FOO:BAR 1;CURVX?;HEADER MAYBE"), "");
    EXPECT_EQ(Chomp(Ask(sim, "ALLEV?")),
              "-113,\"Undefined header\",-113,\"Undefined header\",-224,\"Illegal parameter "
              "value\"");
    EXPECT_EQ(Chomp(Ask(sim, "ALLEV?")), "0,\"No events to report - queue empty\"");
}

struct HeaderCase {
    const char* setup;
    const char* query;
    const char* answer;
};

class SimHeaderShapeTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(SimHeaderShapeTest, HeaderAndVerboseShapeTheAnswer) {
    SimInstrument sim(Config());
    Ask(sim, GetParam().setup);
    EXPECT_EQ(Chomp(Ask(sim, GetParam().query)), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SimHeaderShapeTest,
    testing::Values(HeaderCase{"HEADER ON;VERB ON", "wfmp:ch1:ymu?", ":WFMPRE:CH1:YMULT 4.0E-2"},
                    HeaderCase{"HEADER ON;VERB OFF", "WFMPRE:CH1:YMULT?", ":WFMP:CH1:YMU 4.0E-2"},
                    HeaderCase{"HEADER OFF;VERB ON", "WFMPRE:CH1:YMULT?", "4.0E-2"},
                    HeaderCase{"HEADER ON", "DATA:ENC?", ":DATA:ENCDG RIBINARY"},
                    HeaderCase{"HEAD 1;VERB 0", "DATA:ENC?", ":DAT:ENC RIB"},
                    HeaderCase{"HEADER ON;VERB ON", "DATA:SOURCE CH2;SOURCE?", ":DATA:SOURCE CH2"},
                    HeaderCase{"HEADER ON;VERB OFF", "DATA:SOURCE CH2;SOURCE?", ":DAT:SOU CH2"},
                    HeaderCase{"HEADER ON", "HEADER?;VERBOSE?", ":HEADER 1;:VERBOSE 1"},
                    // Common commands never carry a header.
                    HeaderCase{"HEADER ON", "*IDN?",
                               "TEKTRONIX,TDS 210,0,CF:91.1CT FV:v1.16 TDS2CM:CMV:v1.04"}));

TEST(SimParserTest, CurveHeaderFollowsVerbose) {
    SimInstrument sim(Config());
    Ask(sim, "DATA:ENC ASCI;START 1;STOP 3");
    const std::string bare = Chomp(Ask(sim, "CURV?"));
    ASSERT_TRUE(test::DecodeAsciiList(bare).has_value()) << bare;
    EXPECT_EQ(Chomp(Ask(sim, "HEADER ON;VERB ON;:CURV?")), ":CURVE " + bare);
    EXPECT_EQ(Chomp(Ask(sim, "VERB OFF;:CURVE?")), ":CURV " + bare);
}

TEST(SimParserTest, PowerOnStateIsHeaderOffVerboseOnAndRstRestoresIt) {
    SimInstrument sim(Config());
    EXPECT_EQ(Chomp(Ask(sim, "HEADER?;VERBOSE?")), "0;1");
    Ask(sim, "HEADER ON;VERB OFF;DATA:ENC ASCII;SOURCE CH3");
    Ask(sim, "*RST");
    EXPECT_EQ(Chomp(Ask(sim, "HEADER?;VERBOSE?;:DATA:ENC?;SOURCE?")), "0;1;RIBINARY;CH1");
}

// --- curves in every encoding ----------------------------------------------------------------

struct EncodingCase {
    const char* encoding;
    int width;
    test::WireLayout layout;
    bool ascii;
};

class SimCurveEncodingTest : public testing::TestWithParam<EncodingCase> {};

TEST_P(SimCurveEncodingTest, CurveDecodesToTheGeneratedLevels) {
    const EncodingCase& c = GetParam();
    SimInstrument sim(Config(1, 5000));
    Ask(sim, std::string("DATA:SOURCE CH4;ENC ") + c.encoding + ";WID " + std::to_string(c.width) +
                 ";START 1;STOP 5000");
    const std::string answer = Chomp(Ask(sim, "CURV?"));
    const auto values =
        c.ascii ? test::DecodeAsciiList(answer) : test::DecodeBlock(answer, c.layout);
    ASSERT_TRUE(values.has_value()) << c.encoding;
    const std::vector<std::int16_t> levels = GenerateInput(3, 5000, 7, 0);
    EXPECT_EQ(*values, test::ExpectedWire(levels, c.layout, c.ascii));

    // Scaled with the preamble, the curve is CH4's signal: 500 Hz with harmonics, about
    // 3.7 V peak, centred on zero volts.
    const double ymult = std::stod(Chomp(Ask(sim, "WFMPRE:CH4:YMULT?")));
    const double yoff = std::stod(Chomp(Ask(sim, "WFMPRE:CH4:YOFF?")));
    double peak = 0.0;
    double mean = 0.0;
    for (std::int32_t v : *values) {
        const double volts = (v - yoff) * ymult;
        peak = std::max(peak, std::fabs(volts));
        mean += volts / static_cast<double>(values->size());
    }
    EXPECT_NEAR(peak, 3.7, 0.4);
    EXPECT_NEAR(mean, 0.0, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Encodings, SimCurveEncodingTest,
                         testing::Values(EncodingCase{"RIB", 1, {true, true, 1}, false},
                                         EncodingCase{"RIB", 2, {true, true, 2}, false},
                                         EncodingCase{"RPB", 1, {false, true, 1}, false},
                                         EncodingCase{"RPB", 2, {false, true, 2}, false},
                                         EncodingCase{"SRI", 1, {true, false, 1}, false},
                                         EncodingCase{"SRI", 2, {true, false, 2}, false},
                                         EncodingCase{"SRP", 1, {false, false, 1}, false},
                                         EncodingCase{"SRP", 2, {false, false, 2}, false},
                                         EncodingCase{"ASCI", 1, {true, true, 1}, true},
                                         EncodingCase{"ASCII", 2, {true, true, 2}, true}),
                         [](const testing::TestParamInfo<EncodingCase>& info) {
                             return std::string(info.param.encoding) + "_" +
                                    std::to_string(info.param.width);
                         });

TEST(SimCurveTest, EachChannelCarriesItsOwnSignal) {
    SimInstrument sim(Config(1, 10000));
    Ask(sim, "DATA:ENC RIB;WID 2;START 1;STOP 10000");
    struct Expected {
        const char* source;
        double peakVolts;
        double rmsVolts;
    };
    // CH1 2.5 V sine, CH2 1 V square (rms ≈ peak, overshoot at the edges), CH3 noise of
    // 0.1 V rms (no peak to speak of).
    for (const Expected& e : {Expected{"CH1", 2.5, 2.5 / std::sqrt(2.0)}, Expected{"CH2", 1.2, 1.0},
                              Expected{"CH3", 0.0, 0.1}}) {
        Ask(sim, std::string("DATA:SOURCE ") + e.source);
        const auto values = test::DecodeBlock(Chomp(Ask(sim, "CURV?")), {true, true, 2});
        ASSERT_TRUE(values.has_value());
        const double ymult =
            std::stod(Chomp(Ask(sim, std::string("WFMPRE:") + e.source + ":YMULT?")));
        const double yoff =
            std::stod(Chomp(Ask(sim, std::string("WFMPRE:") + e.source + ":YOFF?")));
        double peak = 0.0;
        double square = 0.0;
        for (std::int32_t v : *values) {
            const double volts = (v - yoff) * ymult;
            peak = std::max(peak, std::fabs(volts));
            square += volts * volts;
        }
        if (e.peakVolts > 0.0) {
            EXPECT_NEAR(peak, e.peakVolts, 0.25 * e.peakVolts) << e.source;
        }
        EXPECT_NEAR(std::sqrt(square / static_cast<double>(values->size())), e.rmsVolts,
                    0.1 * e.rmsVolts)
            << e.source;
    }
}

struct RangeCase {
    std::int64_t start;
    std::int64_t stop;
    std::size_t points;
};

class SimDataRangeTest : public testing::TestWithParam<RangeCase> {};

TEST_P(SimDataRangeTest, NrPtIsWhatCurveReturns) {
    const RangeCase& c = GetParam();
    SimInstrument sim(Config(1, 1000));
    Ask(sim,
        "DATA:ENC RIB;WID 2;START " + std::to_string(c.start) + ";STOP " + std::to_string(c.stop));
    const auto values = test::DecodeBlock(Chomp(Ask(sim, "CURV?")), {true, true, 2});
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->size(), c.points);
    EXPECT_EQ(Chomp(Ask(sim, "WFMPRE:CH1:NR_PT?")), std::to_string(c.points));
    EXPECT_EQ(Chomp(Ask(sim, "WFMPRE:NR_PT?")), std::to_string(c.points));
    if (c.points > 0) {
        // The first point sent is point START of the record.
        const std::vector<std::int16_t> levels = GenerateInput(0, 1000, 7, 0);
        EXPECT_EQ(values->front(),
                  levels[static_cast<std::size_t>(std::max<std::int64_t>(c.start, 1) - 1)]);
    }
}

INSTANTIATE_TEST_SUITE_P(Ranges, SimDataRangeTest,
                         testing::Values(RangeCase{1, 1000, 1000}, RangeCase{0, 1000, 1000},
                                         RangeCase{101, 200, 100}, RangeCase{500, 5000, 501},
                                         RangeCase{7, 7, 1}, RangeCase{10, 5, 0},
                                         RangeCase{-5, 3, 3}));

TEST(SimCurveTest, WfmoAnswersForTheCurrentSource) {
    SimInstrument sim(Config(14));
    Ask(sim, "DATA:SOURCE CH3;ENC RIB;:WFMO:BYT_N 2");
    EXPECT_EQ(Chomp(Ask(sim, "WFMO:BYT_NR?;YMULT?;YOFF?")), "2;1.5625E-5;-6.4E3");
    EXPECT_EQ(Chomp(Ask(sim, "DATA:WIDTH?")), "2");
}

TEST(SimCurveTest, WholePreambleListsEveryField) {
    SimInstrument sim(Config());
    const std::string bare = Chomp(Ask(sim, "WFMPRE?"));
    EXPECT_EQ(std::count(bare.begin(), bare.end(), ';'), 15);
    Ask(sim, "HEADER ON");
    const std::string headed = Chomp(Ask(sim, "WFMPRE?"));
    EXPECT_EQ(headed.rfind(":WFMPRE:BYT_NR 1;BIT_NR 8;", 0), 0u) << headed;
    EXPECT_NE(headed.find(";YMULT 4.0E-2;"), std::string::npos);
}

// --- acquisition -----------------------------------------------------------------------

TEST(SimAcquisitionTest, RunAfterStopMakesANewDeterministicFrame) {
    auto frames = [](std::uint64_t seed) {
        SimConfig config = Config();
        config.seed = seed;
        SimInstrument sim(config);
        Ask(sim, "DATA:SOURCE CH3;ENC RIB;WID 2");
        std::vector<std::string> out;
        out.push_back(Ask(sim, "CURV?"));
        out.push_back(Ask(sim, "ACQ:STATE RUN;:CURV?"));  // already running: same frame
        out.push_back(Ask(sim, "ACQ:STATE STOP;STATE RUN;:CURV?"));
        out.push_back(Ask(sim, "ACQ:STATE OFF;STATE ON;:CURV?"));
        return out;
    };
    const auto first = frames(11);
    EXPECT_EQ(first[0], first[1]);
    EXPECT_NE(first[1], first[2]);
    EXPECT_NE(first[2], first[3]);
    EXPECT_EQ(frames(11), first);
    EXPECT_NE(frames(12)[0], first[0]);
}

TEST(SimAcquisitionTest, SingleSequenceStopsAndReportsSave) {
    SimInstrument sim(Config());
    EXPECT_EQ(Chomp(Ask(sim, "TRIG:STATE?")), "TRIGGER");
    Ask(sim, "ACQ:STOPA SEQ;STATE STOP;STATE RUN");
    EXPECT_EQ(Chomp(Ask(sim, "ACQ:STATE?;:TRIG:STATE?;:ACQ:NUMAC?")), "0;SAVE;1");
}

// --- identification --------------------------------------------------------------------------

struct IdentityCase {
    int type;
    const char* query;
    const char* answer;  // empty: the family does not answer
};

class SimIdentificationTest : public testing::TestWithParam<IdentityCase> {};

TEST_P(SimIdentificationTest, FamilyAnswersItsPresenceCheck) {
    const IdentityCase& c = GetParam();
    SimInstrument sim(Config(c.type));
    const std::string answer = Ask(sim, c.query);
    if (std::string(c.answer).empty()) {
        EXPECT_EQ(answer, "");
        return;
    }
    EXPECT_EQ(answer, std::string(c.answer) + "\n");
    // The program counts an instrument present when the answer holds a "T" ("ON.." for COMU?).
    EXPECT_NE(answer.find(std::string(c.query) == "COMU?" ? "ON.." : "T"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Families, SimIdentificationTest,
    testing::Values(
        IdentityCase{1, "*IDN?", "TEKTRONIX,TDS 210,0,CF:91.1CT FV:v1.16 TDS2CM:CMV:v1.04"},
        IdentityCase{2, "*IDN?", "TEKTRONIX,TDS 380,0,CF:91.1CT FV:v2.1e"},
        IdentityCase{9, "*IDN?", "TEKTRONIX,THS720P,0,CF:91.1CT FV:v1.11"},
        IdentityCase{10, "*IDN?",
                     "TEKTRONIX,TDS 3012,0,CF:91.1CT FV:v3.41 TDS3FFT:v1.00 TDS3TRG:v1.00"},
        IdentityCase{12, "*IDN?", "TEKTRONIX,TDS 1012,0,CF:91.1CT FV:v2.12 TDS2CM:CMV:v1.04"},
        IdentityCase{14, "*IDN?", "TEKTRONIX,DPO 2024,C010123,CF:91.1CT FV:v1.52"},
        IdentityCase{19, "*IDN?", ""}, IdentityCase{20, "*IDN?", ""},
        IdentityCase{20, "!V?", "THS3014 V1.05"}, IdentityCase{1, "!V?", ""},
        IdentityCase{30, "COMU?", "ON.."}, IdentityCase{1, "COMU?", ""},
        IdentityCase{30, "*IDN?", "TEKTRONIX,TPS 2024,0,CF:91.1CT FV:v11.10"},
        IdentityCase{1, "ID?", "ID TEK/TDS 210,CF:91.1CT,FV:v1.16"}),
    [](const testing::TestParamInfo<IdentityCase>& info) {
        std::string query;
        for (char c : std::string(info.param.query)) {
            query += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return "Type" + std::to_string(info.param.type) + "_" + query;
    });

TEST(SimFamilyTest, ModelOverridesTheFamilyDefault) {
    SimConfig config = Config(12);
    config.model = "TDS 2024B";
    SimInstrument sim(config);
    EXPECT_EQ(Chomp(Ask(sim, "*IDN?")),
              "TEKTRONIX,TDS 2024B,0,CF:91.1CT FV:v2.12 TDS2CM:CMV:v1.04");
    EXPECT_EQ(sim.Config().model, "TDS 2024B");
}

TEST(SimFamilyTest, Type9SwitchesBetweenScopeAndMeter) {
    SimInstrument sim(Config(9));
    EXPECT_EQ(Chomp(Ask(sim, "DIS:MOD?")), "SCOPE");
    Ask(sim, "DIS:MOD MET");
    EXPECT_EQ(Chomp(Ask(sim, "DISPLAY:MODE?")), "METER");
    Ask(sim, "DIS:MOD SCO");
    EXPECT_EQ(Chomp(Ask(sim, "DIS:MOD?")), "SCOPE");
    SimInstrument plain(Config(1));
    EXPECT_EQ(Ask(plain, "DIS:MOD?"), "");
}

// --- faults ----------------------------------------------------------------------------

enum class Fault { Silent, Garbage, Truncate };

struct FaultCase {
    const char* name;
    Fault fault;
    bool viaCommand;
};

class SimFaultTest : public testing::TestWithParam<FaultCase> {};

TEST_P(SimFaultTest, BrokenInstrumentAnswersAsSwitched) {
    const FaultCase& c = GetParam();
    SimInstrument sim(Config());
    Ask(sim, "DATA:ENC RIB;WID 2");
    if (c.viaCommand) {
        Ask(sim, std::string("KTXSIM:FAULT ") + c.name);
    } else {
        FaultSwitches& faults = sim.Faults();
        faults.silent = c.fault == Fault::Silent;
        faults.garbage = c.fault == Fault::Garbage;
        faults.truncateBlock = c.fault == Fault::Truncate;
    }
    const std::string idn = Ask(sim, "*IDN?");
    const std::string curve = Ask(sim, "CURV?");
    const std::string number = Ask(sim, "WFMPRE:CH1:YMULT?");
    switch (c.fault) {
        case Fault::Silent:
            EXPECT_EQ(idn + curve + number, "");
            break;
        case Fault::Garbage:
            for (const std::string& answer : {idn, curve, number}) {
                ASSERT_FALSE(answer.empty());
                EXPECT_EQ(answer.back(), '\n');
                EXPECT_EQ(answer.find_first_of("#0123456789T"), std::string::npos) << answer;
                std::size_t used = 0;
                EXPECT_THROW((void)std::stod(answer, &used), std::invalid_argument);
            }
            break;
        case Fault::Truncate: {
            EXPECT_EQ(idn, "TEKTRONIX,TDS 210,0,CF:91.1CT FV:v1.16 TDS2CM:CMV:v1.04\n");
            EXPECT_EQ(curve.substr(0, 6), "#45000");
            EXPECT_EQ(curve.size(), 6u + 2500u + 1u);
            EXPECT_EQ(curve.back(), '\n');
            EXPECT_FALSE(test::DecodeBlock(Chomp(curve), {true, true, 2}).has_value());
            break;
        }
    }
    // Clearing the faults brings the instrument back.
    Ask(sim, "KTXSIM:FAULT NONE");
    EXPECT_EQ(Chomp(Ask(sim, "WFMPRE:CH1:YMULT?")), "1.5625E-4");
}

INSTANTIATE_TEST_SUITE_P(Switches, SimFaultTest,
                         testing::Values(FaultCase{"SILENT", Fault::Silent, true},
                                         FaultCase{"GARBAGE", Fault::Garbage, true},
                                         FaultCase{"TRUNCATE", Fault::Truncate, true},
                                         FaultCase{"SILENT", Fault::Silent, false},
                                         FaultCase{"GARBAGE", Fault::Garbage, false},
                                         FaultCase{"TRUNCATE", Fault::Truncate, false}));

TEST(SimFaultCommandTest, CarrierFieldsAreSetThroughTheCommandLanguage) {
    SimInstrument sim(Config());
    Ask(sim, "KTXSIM:DELAY 250;DROP 1000");
    EXPECT_EQ(sim.Faults().delayMs, 250);
    EXPECT_EQ(sim.Faults().dropAfterBytes, 1000);
    EXPECT_EQ(Chomp(Ask(sim, "KTXSIM:DELAY?;DROP?;FAULT?")), "250;1000;NONE");
    Ask(sim, "KTXSIM:DROP -5");
    EXPECT_EQ(sim.Faults().dropAfterBytes, -1);
}

// --- robustness --------------------------------------------------------------------------

TEST(SimRobustnessTest, HostileInputNeverBreaksTheInstrument) {
    SimInstrument sim(Config());
    const std::string inputs[] = {
        std::string("\0\0\0\n", 4),
        ";;;;\n",
        ":::\n",
        "?\n",
        "*\n",
        "DATA:START 99999999999999999999;STOP -1e400\n",
        "CURVE #\n",
        "CURVE #9\n",
        "CURVE #0abc\n",
        "DATA:SOURCE \"unterminated\n",
        "SAV:WAVE ,\n",
        "RECA:WAVE \"nothing\",REF1\n",
        "FILES:PRI \"nothing\"\n",
        "FILES:WRITEF\n",
        "HOR:RECO 0;RECO 999999999\n",
        std::string(100000, 'A') + "\n",
        std::string("\xff\xfe\x80:\x01?\n"),
    };
    for (const std::string& input : inputs) {
        sim.Receive(input);
        sim.TakeOutput();
    }
    sim.DeviceClear();
    EXPECT_EQ(Chomp(Ask(sim, "HOR:RECO?;:DATA:STOP?")), "2500;2500");
    EXPECT_EQ(Chomp(Ask(sim, "*IDN?")).substr(0, 10), "TEKTRONIX,");
}

TEST(SimRobustnessTest, DeviceClearDropsOutputAndHalfCommands) {
    SimInstrument sim(Config());
    sim.Receive("*IDN?\nDATA:SOU");
    EXPECT_GT(sim.OutputAvailable(), 0u);
    sim.DeviceClear();
    EXPECT_EQ(sim.OutputAvailable(), 0u);
    EXPECT_EQ(Chomp(Ask(sim, "CE CH2;:DATA:SOURCE?")), "CH1");
}

TEST(SimRobustnessTest, OutputCanBeTakenInPieces) {
    SimInstrument sim(Config(1, 100000));
    sim.Receive("DATA:ENC RIB;WID 2;STOP 100000;:CURV?\n");
    std::string whole;
    while (sim.OutputAvailable() > 0) {
        whole += sim.TakeOutput(4093);
    }
    EXPECT_EQ(whole.size(), 8u + 200000u + 1u);
    EXPECT_TRUE(test::DecodeBlock(Chomp(whole), {true, true, 2}).has_value());
}

// The command log tests read to check a program's exact sequence: every command as sent,
// block data left out, long texts cut, the simulator's own commands not in it.
TEST(SimCommandLogTest, ListsCommandsAsReceived) {
    SimInstrument instrument(SimConfig{});
    instrument.Receive("HEADER ON;DATA:SOURCE CH2\n");
    Ask(instrument, "CURV?");
    instrument.Receive("DATA:DESTINATION REF1\n:CURVE #14ABCD\n");
    instrument.Receive("KTXSIM:FAULT NONE\n");
    instrument.Receive(":CURVE " + std::string(100, '1') + "\n");
    const std::string expected =
        "HEADER ON\nDATA:SOURCE CH2\nCURV?\nDATA:DESTINATION REF1\n"
        ":CURVE #14\n:CURVE " +
        std::string(57, '1') + "\n";
    EXPECT_EQ(Chomp(Ask(instrument, "KTXSIM:LOG?")), test::MakeBlock(expected));
    instrument.Receive("KTXSIM:LOG CLEAR\n*IDN?\n");
    instrument.TakeOutput();
    EXPECT_EQ(Chomp(Ask(instrument, "ktxsim:log?")), test::MakeBlock("*IDN?\n"));
}

}  // namespace
}  // namespace ktx::sim
