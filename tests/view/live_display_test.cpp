// SPDX-License-Identifier: GPL-3.0-or-later
// The live display's logic: the source dialog's checks, colours by source name, the bounded
// block header, the curve's scaling against values worked out by hand, and frames fetched
// from the simulated instrument in-process and over TCP.
#include "view/live_display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "test_files.h"
#include "view/live_test_support.h"

namespace ktx {
namespace {

using test::Bytes;

// --- the source dialog's OK -------------------------------------------------------------------

struct SelectionCase {
    const char* name;
    int selected;
    const char* start;
    const char* stop;
    const char* size;
    int message;  // 0: accepted
    int points;
    const char* stopReset;
};

class LiveSelectionTest : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(LiveSelectionTest, ChecksAsTheDialogDoes) {
    const SelectionCase& c = GetParam();
    std::vector<std::string> selected;
    for (int i = 0; i < c.selected; ++i) {
        selected.push_back("S" + std::to_string(i + 1));
    }
    test::RecordingNotifier notes;
    std::string reset;
    const auto s = CheckLiveSelection(selected, c.start, c.stop, c.size, notes, &reset);
    EXPECT_EQ(reset, c.stopReset);
    if (c.message == 0) {
        ASSERT_TRUE(s);
        EXPECT_TRUE(notes.shown.empty());
        EXPECT_EQ(s->points, c.points);
        EXPECT_EQ(s->sources, selected);
        EXPECT_EQ(s->startText, c.start);
        return;
    }
    EXPECT_FALSE(s);
    ASSERT_EQ(notes.shown.size(), 1u);
    EXPECT_EQ(notes.shown[0].stringId, 10000 + c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LiveSelectionTest,
    ::testing::Values(SelectionCase{"Whole", 2, "0", "2500", "2500", 0, 2500, ""},
                      SelectionCase{"SixAreAccepted", 6, "100", "1100", "2500", 0, 1000, ""},
                      SelectionCase{"NoSource", 0, "0", "1000", "2500", 14, 0, ""},
                      SelectionCase{"ElevenSources", 11, "0", "1000", "2500", 14, 0, ""},
                      SelectionCase{"StartNoNumber", 1, "a1", "1000", "2500", 43, 0, ""},
                      SelectionCase{"StopNoNumber", 1, "0", "1k", "2500", 44, 0, ""},
                      SelectionCase{"StopAboveMemory", 1, "0", "3000", "2500", 15, 0, "2500"},
                      SelectionCase{"StopEqualsStart", 1, "500", "500", "2500", 44, 0, ""},
                      SelectionCase{"StopBelowStart", 1, "800", "500", "2500", 44, 0, ""},
                      SelectionCase{"HugeRange", 1, "-2000000000", "2000000000", "x", 44, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// --- colours ----------------------------------------------------------------------------------

TEST(LiveColourTest, NamesMatchWhateverTheirLetterCase) {
    const std::pair<const char*, int> cases[] = {
        {"CH1", 0},  {"Ch1", 0},   {"ch2", 1},  {"CH3", 2},  {"Ch4", 3},   {"REF1", 4},
        {"Ref2", 5}, {"ref3", 6},  {"REF4", 7}, {"MATH", 8}, {"Math", 8},  {"CH5", -1},
        {"CH", -1},  {"CH10", -1}, {"", -1},    {"REF", -1}, {"MATH1", -1}};
    for (const auto& [name, index] : cases) {
        EXPECT_EQ(LiveColourIndex(name), index) << name;
    }
    // Every entry is a colour of its own, and none is the white background.
    std::vector<std::uint32_t> colours(kLiveColours.begin(), kLiveColours.end());
    std::sort(colours.begin(), colours.end());
    EXPECT_EQ(std::adjacent_find(colours.begin(), colours.end()), colours.end());
    EXPECT_EQ(std::count(colours.begin(), colours.end(), 0xFFFFFFu), 0);
}

// --- the block header -------------------------------------------------------------------------

struct BlockCase {
    const char* name;
    std::string bytes;
    std::size_t stored;  // 0: all bytes
    std::size_t offset;
    std::size_t count;
    bool header;
};

class LiveBlockTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(LiveBlockTest, AcceptsOnlyAHeaderWhoseLengthFitsWhatWasRead) {
    const BlockCase& c = GetParam();
    // Bytes past `stored` are there, as in the program's buffer, but must not be looked at:
    // the sanitizers catch a read beyond a buffer of exactly `stored` bytes.
    const std::size_t stored = c.stored ? c.stored : c.bytes.size();
    std::vector<std::uint8_t> exact(c.bytes.begin(), c.bytes.begin() + stored);
    const LiveBlock b = ParseLiveBlock(exact.data(), exact.size());
    EXPECT_EQ(b.header, c.header);
    EXPECT_EQ(b.offset, c.offset);
    EXPECT_EQ(b.count, c.count);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LiveBlockTest,
    ::testing::Values(
        BlockCase{"Header2500", "#42500" + std::string(2500, '\x10'), 0, 6, 2500, true},
        BlockCase{"HeaderShorterThanRead", "#15abcde" + std::string(20, '\0'), 0, 3, 5, true},
        BlockCase{"EmptyBlock", "#10", 0, 3, 0, true},
        BlockCase{"LengthBeyondRead", "#49999" + std::string(100, 'x'), 0, 0, 106, false},
        BlockCase{"NineDigitsBeyondRead", "#9999999999abc", 0, 0, 14, false},
        BlockCase{"DigitsCutOff", "#42500", 4, 0, 4, false},
        BlockCase{"HashOnly", "#", 0, 0, 1, false},
        BlockCase{"IndefiniteBlock", "#0abc", 0, 0, 5, false},
        BlockCase{"NoDigitAfterHash", "#a123", 0, 0, 5, false},
        BlockCase{"LetterAmongDigits", "#3 12abcdefghijklm", 0, 0, 18, false},
        BlockCase{"PlainSamples", std::string("\x01\x02\x03", 3), 0, 0, 3, false},
        BlockCase{"NothingRead", "", 0, 0, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the curve's scaling ----------------------------------------------------------------------

TEST(LiveCurveTest, TwentyFiveHundredPointsOnFiveHundredPixels) {
    // G = 2500 div 500 + 1 = 6 samples a column, C = 2500 div 6 = 416 columns.
    Bytes samples(2500);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::uint8_t>(static_cast<std::int8_t>(i % 200 - 100));
    }
    const auto points = ScaleLiveCurve(samples.data(), samples.size(), 500, 256);
    ASSERT_EQ(points.size(), 416u);
    for (std::size_t c : {0u, 1u, 17u, 415u}) {
        double sum = 0;
        for (std::size_t k = 6 * c; k < 6 * c + 6; ++k) {
            sum += static_cast<double>(static_cast<int>(k % 200) - 100);
        }
        // H = 256: one pixel a count.
        EXPECT_EQ(points[c].y, 256 - static_cast<int>(std::nearbyint(sum / 6 + 127))) << c;
        EXPECT_EQ(points[c].x, static_cast<int>(std::nearbyint(500.0 / 416 * c))) << c;
    }
    EXPECT_EQ(points.back().x, 499);
}

struct LevelCase {
    const char* name;
    std::vector<std::uint8_t> samples;
    int height;
    int y;  // of the first point
};

class LiveLevelTest : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LiveLevelTest, SignedBytesAndHalvesToEven) {
    const LevelCase& c = GetParam();
    const auto points = ScaleLiveCurve(c.samples.data(), c.samples.size(), 2, c.height);
    // Width 2: one column, of one sample or of two (G = count div 2 + 1).
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0], (LivePoint{0, c.y}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LiveLevelTest,
    ::testing::Values(LevelCase{"MinusOneTwentySevenOnTheBottomEdge", {0x81}, 256, 256},
                      LevelCase{"OneTwentySevenAt254of256", {0x7F}, 256, 2},
                      LevelCase{"ByteOf128IsMinus128", {0x80}, 256, 257},
                      LevelCase{"TwoOf127", {0x7F, 0x7F}, 512, 4},
                      // (0.5 + 127) = 127.5 and (1.5 + 127) = 128.5 both go to 128.
                      LevelCase{"HalfUpToEven", {0x00, 0x01}, 256, 128},
                      LevelCase{"HalfDownToEven", {0x01, 0x02}, 256, 128},
                      LevelCase{"ZeroOnHalfHeight", {0x00}, 512, 258}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LiveCurveTest, NothingToDrawOrNoRoomDrawsNothing) {
    const Bytes samples(100, 0x10);
    EXPECT_TRUE(ScaleLiveCurve(samples.data(), samples.size(), 0, 200).empty());
    EXPECT_TRUE(ScaleLiveCurve(samples.data(), samples.size(), -3, 200).empty());
    EXPECT_TRUE(ScaleLiveCurve(samples.data(), samples.size(), 200, 0).empty());
    EXPECT_TRUE(ScaleLiveCurve(samples.data(), 0, 200, 200).empty());
    // Fewer points than pixels: one column a point.
    EXPECT_EQ(ScaleLiveCurve(samples.data(), samples.size(), 1000, 200).size(), 100u);
}

TEST(LiveGridTest, WholeDivisionsAndOnePixel) {
    const LiveGrid g = MakeLiveGrid(509, 301);
    EXPECT_EQ(g.divisionWidth, 50);
    EXPECT_EQ(g.divisionHeight, 30);
    EXPECT_EQ(g.Width(), 501);
    EXPECT_EQ(g.Height(), 301);
    EXPECT_EQ(MakeLiveGrid(5, -4).Width(), 1);
}

// --- frames from the simulated instrument ---------------------------------------------------

class LiveFrameTest : public ::testing::TestWithParam<test::SimCarrier> {
  protected:
    test::TempDir m_dir;
};

LiveSelection FourSources() {
    return {{"CH1", "CH2", "MATH", "REF1", "REF2"}, "0", "2500", 2500};
}

TEST_P(LiveFrameTest, RunsFrameAfterFrame) {
    test::LiveLink link(m_dir, GetParam());
    LiveDisplay live(link.Transport(), link.Notes());
    ASSERT_TRUE(live.Setup(FourSources()));
    EXPECT_EQ(link.Log(),
              "DATA INIT|DATA:ENC RIB|DATA:WID 1|DATA:START 0|DATA:STOP 2500|HEADER OFF|"
              "VERB ON|WFMPRE?");
    ASSERT_EQ(live.Sources().size(), 4u);  // the first four of five
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_TRUE(live.Fetch()) << frame;
        const std::string log = link.Log();
        const std::string first =
            frame == 0 ? "DATA:SOURCE CH1|WFMPRE:XINCR?|HOR:RECO?|WFMPRE:YMULT?|"
                         "WFMPRE:YUNIT?|curv?|DATA:SOURCE CH2|WFMPRE:YMULT?|WFMPRE:YUNIT?|curv?|"
                         "DATA:SOURCE MATH|WFMPRE:YMULT?|WFMPRE:YUNIT?|curv?|"
                         "DATA:SOURCE REF1|WFMPRE:YMULT?|WFMPRE:YUNIT?|curv?"
                       : log;
        EXPECT_EQ(log, first);
        EXPECT_EQ(live.Points(), 2500);
        EXPECT_EQ(live.Curve(0, 500, 256).size(), 416u);
        EXPECT_EQ(live.Curve(1, 500, 256).size(), 416u);
        EXPECT_EQ(live.Curve(2, 500, 256).size(), 416u);
        // The instrument has nothing in REF1 (an empty block): nothing is drawn for it.
        EXPECT_TRUE(live.Curve(3, 500, 256).empty());
    }
    // The instrument's own screen: 1 V/div, 500 mV/div on CH2, 1 ms/div.
    EXPECT_EQ(live.Sources()[0].Label(), "CH1 1V/div");
    EXPECT_EQ(live.Sources()[1].Label(), "CH2 500mV/div");
    EXPECT_EQ(live.TimeLabel(), "1ms/div");
    // The instrument files spell "CH1", the colour table "Ch1": still coloured.
    EXPECT_EQ(live.Sources()[0].colour, kLiveColours[0]);
    EXPECT_EQ(live.Sources()[1].colour, kLiveColours[1]);
    EXPECT_EQ(live.Sources()[2].colour, kLiveColours[8]);
    EXPECT_EQ(live.Sources()[3].colour, kLiveColours[4]);
    EXPECT_TRUE(link.Notes().shown.empty());
    // The samples are the instrument's: the curve read whole agrees with the frame's.
    EXPECT_TRUE(link.Transport().SendCommand("DATA:SOURCE CH1"));
    const std::string whole = m_dir.Path("ch1.bin");
    ASSERT_TRUE(link.Transport().ReceiveToFile(whole, "CURV?", 0));
    const Bytes raw = test::ReadFile(whole);
    ASSERT_EQ(raw.size(), 6u + 2500u);  // "#42500" and the samples
    const auto& ch1 = live.Sources()[0];
    ASSERT_EQ(ch1.block.count, 2500u);
    EXPECT_TRUE(std::equal(raw.begin() + 6, raw.end(), ch1.buffer.begin() + ch1.block.offset));
}

TEST_P(LiveFrameTest, AnInstrumentThatFallsSilentEndsTheRun) {
    test::LiveLink link(m_dir, GetParam());
    LiveDisplay live(link.Transport(), link.Notes());
    ASSERT_TRUE(live.Setup({{"CH1"}, "0", "500", 500}));
    ASSERT_TRUE(live.Fetch());
    EXPECT_EQ(live.Curve(0, 100, 100).size(), 83u);  // 500 points, 6 a column
    link.Transport().SendCommand("KTXSIM:FAULT TRUNCATE");
    EXPECT_FALSE(live.Fetch());
    link.Transport().SendCommand("KTXSIM:FAULT SILENT");
    EXPECT_FALSE(live.Fetch());
    // Each ended run says so once; a closed window's run ends quietly.
    const auto failed = [&] {
        return std::count_if(link.Notes().shown.begin(), link.Notes().shown.end(),
                             [](const test::Shown& s) { return s.stringId == 10034; });
    };
    EXPECT_EQ(failed(), 2);
    live.FreeBuffers();
    EXPECT_FALSE(live.BuffersHeld());
    EXPECT_FALSE(live.Fetch());  // nothing to read into: no read at all
    EXPECT_EQ(failed(), 2);
}

TEST_P(LiveFrameTest, AFailedSetupFetchesNothing) {
    test::LiveLink link(m_dir, GetParam());
    link.Transport().SendCommand("KTXSIM:FAULT SILENT");
    LiveDisplay live(link.Transport(), link.Notes());
    EXPECT_FALSE(live.Setup({{"CH1", "Ch2"}, "0", "500", 500}));
    EXPECT_FALSE(live.BuffersHeld());
    EXPECT_FALSE(live.Fetch());
    ASSERT_EQ(link.Notes().shown.size(), 1u);  // the set-up's failure, not again per frame
    EXPECT_EQ(link.Notes().shown[0].stringId, 10034);
    // The labels still show the chosen sources in their colours.
    ASSERT_EQ(live.Sources().size(), 2u);
    EXPECT_EQ(live.Sources()[1].colour, kLiveColours[1]);
}

INSTANTIATE_TEST_SUITE_P(Carriers, LiveFrameTest,
                         ::testing::Values(test::SimCarrier::InProcess, test::SimCarrier::Tcp),
                         [](const auto& info) {
                             return info.param == test::SimCarrier::Tcp ? "Tcp" : "InProcess";
                         });

TEST(LiveSlotColourTest, AnUnknownNameKeepsItsSlotsColour) {
    test::TempDir dir;
    test::LiveLink link(dir, test::SimCarrier::InProcess);
    LiveDisplay live(link.Transport(), link.Notes());
    live.Setup({{"WAVE9"}, "0", "500", 500});
    EXPECT_EQ(live.Sources()[0].colour, kLiveBlack);  // first run: black
    live.Setup({{"ch2"}, "0", "500", 500});
    live.Setup({{"WAVE9"}, "0", "500", 500});
    EXPECT_EQ(live.Sources()[0].colour, kLiveColours[1]);  // what the slot had
}

}  // namespace
}  // namespace ktx
