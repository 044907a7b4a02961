// SPDX-License-Identifier: GPL-3.0-or-later
// Waveforms into the instrument: DATA:DESTINATION + CURVE in every encoding, reference
// memories, and the file system commands of the type-10 family.
#include <gtest/gtest.h>

#include "sim_instrument.h"
#include "sim_test_support.h"
#include "waveform_generator.h"

namespace ktx::sim {
namespace {

using test::Ask;
using test::Chomp;

SimConfig Config(int type = 1) {
    SimConfig config;
    config.deviceType = type;
    config.seed = 3;
    return config;
}

// Two-byte values whose bytes are line feeds (0x0A) and semicolons (0x3B).
const std::vector<std::int32_t> kAwkward = {0x0A3B, 0x3B0A, 0x0A0A, -1, 0, 10, 59, -32768};

std::string Bytes(const std::vector<std::int32_t>& values, const test::WireLayout& layout) {
    std::string bytes;
    for (std::int32_t v : values) {
        const auto word = static_cast<std::uint16_t>(v);
        if (layout.width == 1) {
            bytes += static_cast<char>(word & 0xFF);
        } else if (layout.msbFirst) {
            bytes += static_cast<char>(word >> 8);
            bytes += static_cast<char>(word & 0xFF);
        } else {
            bytes += static_cast<char>(word & 0xFF);
            bytes += static_cast<char>(word >> 8);
        }
    }
    return bytes;
}

struct RoundTripCase {
    const char* encoding;
    int width;
    test::WireLayout layout;
    bool leadingColon;
    bool endOfMessage;  // the data come without a final line feed
};

class SimCurveInputTest : public testing::TestWithParam<RoundTripCase> {};

TEST_P(SimCurveInputTest, CurveSentToAReferenceReadsBackUnchanged) {
    const RoundTripCase& c = GetParam();
    SimInstrument sim(Config());
    Ask(sim, std::string("DATA:ENC ") + c.encoding + ";WID " + std::to_string(c.width));
    Ask(sim, "DATA:DESTINATION REF2");
    std::vector<std::int32_t> values;
    for (std::int32_t v : kAwkward) {
        values.push_back(c.width == 1 ? (v & 0xFF) : (v & 0xFFFF));
    }
    if (c.layout.isSigned) {
        for (std::int32_t& v : values) {
            v = c.width == 1 ? static_cast<std::int8_t>(v) : static_cast<std::int16_t>(v);
        }
    }
    const std::string block = test::MakeBlock(Bytes(values, c.layout));
    sim.Receive(std::string(c.leadingColon ? ":" : "") + "CURVE " + block);
    if (c.endOfMessage) {
        sim.EndOfMessage();
    } else {
        sim.Receive("\n");
    }
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "0");
    const auto back = test::DecodeBlock(Chomp(Ask(sim, "DATA:SOURCE REF2;:CURV?")), c.layout);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, values);
    EXPECT_EQ(Chomp(Ask(sim, "WFMPRE:REF2:NR_PT?")), std::to_string(values.size()));
}

INSTANTIATE_TEST_SUITE_P(Encodings, SimCurveInputTest,
                         testing::Values(RoundTripCase{"RIB", 2, {true, true, 2}, true, false},
                                         RoundTripCase{"RIB", 2, {true, true, 2}, false, true},
                                         RoundTripCase{"RIB", 1, {true, true, 1}, false, false},
                                         RoundTripCase{"RPB", 2, {false, true, 2}, true, true},
                                         RoundTripCase{"RPB", 1, {false, true, 1}, true, false},
                                         RoundTripCase{"SRI", 2, {true, false, 2}, false, false},
                                         RoundTripCase{"SRP", 2, {false, false, 2}, false, true},
                                         RoundTripCase{"SRP", 1, {false, false, 1}, true, true}));

TEST(SimCurveDestinationTest, AsciiCurveRoundTripCompletedByEndOfMessage) {
    SimInstrument sim(Config());
    Ask(sim, "DATA:ENC ASCII;WID 2;:DATA:DEST REF3");
    sim.Receive(":CURVE 10,-20,30,-32768,32767");
    sim.EndOfMessage();
    EXPECT_EQ(Ask(sim, "DATA:SOURCE REF3;:CURV?"), "10,-20,30,-32768,32767\n");
    // Without EndOfMessage the last value could still grow; with it the curve is complete.
    sim.Receive("CURVE 1,2");
    sim.EndOfMessage();
    EXPECT_EQ(Ask(sim, "CURV?"), "1,2\n");
}

TEST(SimCurveDestinationTest, FileGluedToTheDestinationCommand) {
    // The program sends "DATA:DESTINATION REF1" without a terminator and the converted file
    // (":CURVE #...") right behind it.
    SimInstrument sim(Config());
    Ask(sim, "DATA:ENC RIB;WID 2");
    const std::string bytes = Bytes({1, 2, 0x0A3B}, {true, true, 2});
    sim.Receive("DATA:DESTINATION REF1:CURVE " + test::MakeBlock(bytes));
    sim.EndOfMessage();
    sim.Receive("DATA:DESTINATION REF4CURVE 5,6,7\n");  // ASCII file without its colon
    Ask(sim, "DATA:ENC ASCII");
    EXPECT_EQ(Ask(sim, "DATA:SOURCE REF1;:CURV?"), "1,2,2619\n");
    EXPECT_EQ(Chomp(Ask(sim, "DATA:DESTINATION?")), "REF4");
    EXPECT_EQ(Ask(sim, "DATA:SOURCE REF4;:CURV?"), "5,6,7\n");
}

TEST(SimCurveDestinationTest, EmptyReferenceHasNoPoints) {
    SimInstrument sim(Config());
    EXPECT_EQ(Ask(sim, "DATA:SOURCE REF1;:CURV?"), "#10\n");
    EXPECT_EQ(Chomp(Ask(sim, "WFMPRE:REF1:NR_PT?")), "0");
}

TEST(SimReferenceTest, SaveWaveformCopiesAChannel) {
    SimInstrument sim(Config(4));
    // What the program sends before writing a waveform into REF1 on types above 3.
    EXPECT_EQ(Chomp(Ask(sim, "SEL:CH1?")), "1");
    Ask(sim, "SAV:WAVEFORM CH1,REF1;:SEL:REF1 ON");
    Ask(sim, "DATA INIT;:DATA:ENC RIB;WID 2");
    const std::string channel = Ask(sim, "CURV?");
    EXPECT_EQ(Ask(sim, "DATA:SOURCE REF1;:CURV?"), channel);
    EXPECT_EQ(Chomp(Ask(sim, "SEL:REF1?;:WFMPRE:REF1:YMULT?")), "1;1.5625E-4");
}

TEST(SimFileSystemTest, Type10SavesPrintsWritesAndRecalls) {
    SimInstrument sim(Config(10));
    Ask(sim, "SAV:WAVE:FILEF INTERN");
    Ask(sim, "SAV:WAVE CH2,\"c:\\ktx.tmp\"");
    // The program asks with the name upper-cased; the instrument's names ignore case.
    const std::string file = Ask(sim, "FILES:PRI \"c:\\KTX.TMP\", GPIB");
    ASSERT_EQ(file.rfind(":WFMPRE:BYT_NR 2;BIT_NR 16;ENCDG BINARY;BN_FMT RI;BYT_OR MSB;", 0), 0u)
        << file.substr(0, 80);
    const std::size_t curve = file.find(";:CURVE #45000");
    ASSERT_NE(curve, std::string::npos);
    EXPECT_EQ(file.size(), curve + 14 + 5000 + 1);

    // Write the printed file back under a new name and recall it into REF3.
    sim.Receive("FILES:WRITEF \"c:\\copy.tmp\"," + file);
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "0");
    Ask(sim, "RECA:WAVE \"c:\\copy.tmp\",REF3");
    EXPECT_EQ(Chomp(Ask(sim, "FILES:DIR?")), "\"C:\\COPY.TMP\",\"C:\\KTX.TMP\"");

    Ask(sim, "DATA:ENC SRI;WID 2");  // the recalled file's format must not stick
    const auto ref =
        test::DecodeBlock(Chomp(Ask(sim, "DATA:SOURCE REF3;:CURV?")), {true, false, 2});
    const auto ch2 = test::DecodeBlock(Chomp(Ask(sim, "DATA:SOURCE CH2;:CURV?")), {true, false, 2});
    ASSERT_TRUE(ref.has_value());
    ASSERT_TRUE(ch2.has_value());
    EXPECT_EQ(*ref, *ch2);
    EXPECT_EQ(Chomp(Ask(sim, "DATA:ENC?")), "SRIBINARY");
}

TEST(SimFileSystemTest, MissingFileIsAnErrorNotACrash) {
    SimInstrument sim(Config(10));
    EXPECT_EQ(Ask(sim, "FILES:PRI \"c:\\none.tmp\", GPIB"), "");
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "32");
}

TEST(SimFileSystemTest, Type14InputPreambleCommands) {
    SimInstrument sim(Config(14));
    const std::string length = Chomp(Ask(sim, "HOR:ACQLENGTH?"));
    EXPECT_EQ(length, "2500");
    Ask(sim, "WFMI:NR_PT " + length);
    Ask(sim, "WFMI:ENC ASCII");
    Ask(sim, "WFMI:ENC RIB");
    Ask(sim, "WFMI:BYT_NR 1");
    sim.Receive("DATA:DESTINATION REF1:CURVE " + test::MakeBlock(std::string("\x01\xFF\x0A", 3)));
    sim.EndOfMessage();
    // "WFMW:BYT_NR 2" as the program spells it switches the input to two bytes.
    Ask(sim, "WFMW:BYT_NR 2");
    sim.Receive("DATA:DESTINATION REF2:CURVE " +
                test::MakeBlock(std::string("\x01\x00\xFF\xFF", 4)));
    sim.EndOfMessage();
    Ask(sim, "DATA:START 0");
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "0");
    // Output stays as DATA set it: one byte, signed, and the input settings did not touch it.
    Ask(sim, "DATA:ENC ASCII;WID 1");
    EXPECT_EQ(Ask(sim, "DATA:SOURCE REF1;:CURV?"), "1,-1,10\n");
    Ask(sim, "DATA:WID 2");
    EXPECT_EQ(Ask(sim, "DATA:SOURCE REF2;:CURV?"), "256,-1\n");
}

TEST(SimFileSystemTest, Type12AcceptsThePointCountSetting) {
    SimInstrument sim(Config(12));
    Ask(sim, "WFMPRE:NR_Pt 10000;:DATA INIT;:DATA:ENC ASCII");
    EXPECT_EQ(Chomp(Ask(sim, "*ESR?")), "0");
    EXPECT_EQ(Chomp(Ask(sim, "WFMPRE:CH1:NR_PT?")), "2500");
}

}  // namespace
}  // namespace ktx::sim
