// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated instrument's set-up: "SET?" answers a set-up as long and awkward as a real one
// (several KB, a command path longer than a send group, a quoted ";:", a final line feed), every
// setting it reports is taken back, so a set-up sent back in any pieces restores the instrument
// exactly, and the telecom switch adds the mask application to type 12's identification.
#include <gtest/gtest.h>

#include "fault_switches.h"
#include "sim_instrument.h"
#include "sim_test_support.h"

namespace ktx::sim {
namespace {

using test::Ask;
using test::Chomp;

SimInstrument Instrument(int type, const FaultSwitches& faults = {}) {
    SimConfig config;
    config.deviceType = type;
    return SimInstrument(config, faults);
}

// The pieces between ";:" (the command paths), each with its leading ":".
std::vector<std::string> Paths(const std::string& text) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    bool quoted = false;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        quoted = text[i] == '"' ? !quoted : quoted;
        if (!quoted && text[i] == ';' && text[i + 1] == ':') {
            paths.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    paths.push_back(text.substr(start));
    return paths;
}

TEST(SimSetupTest, AnswerIsAsLongAndAwkwardAsARealOne) {
    SimInstrument sim = Instrument(12);
    const std::string answer = Ask(sim, "SET?");
    ASSERT_FALSE(answer.empty());
    EXPECT_EQ(answer.back(), '\n');
    EXPECT_GE(answer.size(), 2048u);
    std::size_t longest = 0;
    for (const std::string& path : Paths(Chomp(answer))) {
        EXPECT_EQ(path.front(), ':') << path.substr(0, 40);
        longest = std::max(longest, path.size());
    }
    EXPECT_GT(longest, 481u);
    // A quoted string holding ";:" (where a naive splitter would see a new path).
    const std::size_t quote = answer.find('"');
    ASSERT_NE(quote, std::string::npos);
    bool quotedPathMark = false;
    for (std::size_t q = quote; q != std::string::npos;) {
        const std::size_t close = answer.find('"', q + 1);
        ASSERT_NE(close, std::string::npos);
        quotedPathMark |= answer.substr(q, close - q).find(";:") != std::string::npos;
        q = answer.find('"', close + 1);
    }
    EXPECT_TRUE(quotedPathMark);
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "0");
}

struct SettingCase {
    const char* name;
    const char* command;
    const char* query;
    const char* answer;  // after the command; the error status "*ESR?" must be 0
};

class SimSettingTest : public testing::TestWithParam<SettingCase> {};

TEST_P(SimSettingTest, IsKeptAndReported) {
    const SettingCase& c = GetParam();
    SimInstrument sim = Instrument(12);
    Ask(sim, c.command);
    EXPECT_EQ(Chomp(Ask(sim, c.query)), c.answer);
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "0");
    const std::string setup = Ask(sim, "SET?");
    EXPECT_NE(setup.find(c.answer), std::string::npos) << setup;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SimSettingTest,
    testing::Values(
        SettingCase{"ShortHeaderAndNumber", "CH2:SCA 0.5", "CH2:SCALE?", "5.0E-1"},
        SettingCase{"Mnemonic", "trig:a:edge:slo fall", "TRIGGER:A:EDGE:SLOPE?", "FALL"},
        SettingCase{"QuotedWithPathMark", "MASK:USER:LAB \"L1;:L2, Netz\"", "MASK:USER:LABEL?",
                    "\"L1;:L2, Netz\""},
        SettingCase{"PointList", "MASK:USER:SEG2:POINTS -1e-7,0.5,1E-7,0.5",
                    "MASK:USER:SEG2:POINTS?", "-1.0E-7,5.0E-1,1.0E-7,5.0E-1"},
        SettingCase{"RelativePath", "HOR:SCA 1e-3;POS 20", "HORIZONTAL:POSITION?", "2.0E1"}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadSettingCase {
    const char* name;
    const char* command;
    const char* query;
};

class SimBadSettingTest : public testing::TestWithParam<BadSettingCase> {};

TEST_P(SimBadSettingTest, IsRefusedAndLeavesTheValue) {
    const BadSettingCase& c = GetParam();
    SimInstrument sim = Instrument(12);
    const std::string before = Ask(sim, c.query);
    Ask(sim, c.command);
    EXPECT_NE(Chomp(Ask(sim, "*ESR?")), "0");
    EXPECT_EQ(Ask(sim, c.query), before);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SimBadSettingTest,
    testing::Values(BadSettingCase{"NoNumber", "CH1:SCALE volt", "CH1:SCALE?"},
                    BadSettingCase{"UnknownChoice", "CH1:COUPLING DCX", "CH1:COUPLING?"},
                    BadSettingCase{"Unquoted", "MASK:USER:LABEL abc", "MASK:USER:LABEL?"},
                    BadSettingCase{"OddPointList", "MASK:USER:SEG1:POINTS 1,2,3",
                                   "MASK:USER:SEG1:POINTS?"}),
    [](const auto& info) { return std::string(info.param.name); });

// Sent back in pieces of any size (as a host sends a set-up in groups), the set-up is one
// message and puts every setting back.
class SimSetupRoundTripTest : public testing::TestWithParam<std::size_t> {};

TEST_P(SimSetupRoundTripTest, SetupSentBackRestoresEverySetting) {
    SimInstrument sim = Instrument(12);
    for (const char* change :
         {"CH3:SCALE 2", "MASK:USER:LABEL \"x;:y\"", "DATA:SOURCE CH2", "HOR:RECO 10000",
          "TRIG:A:LEV 1.25", "SEL:CH4 1", "MASK:USER:SEG1:POINTS 0,0,1e-7,1"}) {
        Ask(sim, change);
    }
    const std::string saved = Ask(sim, "SET?");
    Ask(sim, "*RST");
    ASSERT_NE(Ask(sim, "SET?"), saved);
    const std::size_t piece = GetParam();
    for (std::size_t at = 0; at < saved.size(); at += piece) {
        sim.Receive(std::string_view(saved).substr(at, piece));
    }
    EXPECT_EQ(sim.TakeOutput(), "");
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "0");
    EXPECT_EQ(Ask(sim, "SET?"), saved);
}

INSTANTIATE_TEST_SUITE_P(Pieces, SimSetupRoundTripTest, testing::Values(1, 7, 481, 100000));

struct TelecomCase {
    int type;
    bool atStart;         // the switch the connection starts with (ktx-sim --telecom, [SIM])
    const char* command;  // then sent, or empty
    bool module;
};

class SimTelecomTest : public testing::TestWithParam<TelecomCase> {};

TEST_P(SimTelecomTest, SwitchNamesTheMaskApplicationOnType12Only) {
    const TelecomCase& c = GetParam();
    FaultSwitches faults;
    SetFaultSwitch(faults, FaultSwitch::Telecom, c.atStart ? 1 : 0);
    SimInstrument sim = Instrument(c.type, faults);
    if (*c.command) {
        Ask(sim, c.command);
    }
    const std::string idn = Chomp(Ask(sim, "*IDN?"));
    EXPECT_EQ(idn.find(" TDS3TMT:") != std::string::npos, c.module) << idn;
    EXPECT_EQ(idn.rfind("TEKTRONIX,", 0), 0u) << idn;
}

INSTANTIATE_TEST_SUITE_P(Switch, SimTelecomTest,
                         testing::Values(TelecomCase{12, false, "", false},
                                         TelecomCase{12, true, "", true},
                                         TelecomCase{12, false, "KTXSIM:TELECOM ON", true},
                                         TelecomCase{12, true, "KTXSIM:TELE 0", false},
                                         TelecomCase{1, true, "", false},
                                         TelecomCase{10, false, "KTXSIM:TELECOM 1", false}));

}  // namespace
}  // namespace ktx::sim
