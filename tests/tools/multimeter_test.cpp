// SPDX-License-Identifier: GPL-3.0-or-later
// The multimeter dialogs' sequences against the simulated instrument's command log: the
// type-9 range dialog (DMM commands) and capture dialog with the THS720P definition file, the
// handheld range dialog (exclamation set) with the THS3014's; the status layout with answers
// built here by position.
#include "tools/multimeter.h"

#include <gtest/gtest.h>

#include "tools/measure_test_support.h"

namespace ktx {
namespace {

using test::DriverFile;

class DmmRangeTest : public testing::Test {
  protected:
    DmmRangeTest() : m_sim(m_dir, 9) {
        m_sim.Transport().SendCommand("KTXSIM:CLOCK 0;:DIS:MOD MET");
        m_sim.Log();
    }
    std::unique_ptr<DmmRangeControl> Open() {
        auto control = std::make_unique<DmmRangeControl>(
            m_sim.Transport(), m_sim.Notes(), ReadMeterDefinition(DriverFile("kt_ths720p.ini")),
            [this](int ms) { m_waits.push_back(ms); });
        control->Open();
        return control;
    }

    test::TempDir m_dir;
    test::SimLink m_sim;
    std::vector<int> m_waits;
};

TEST_F(DmmRangeTest, OpeningFindsTheFunctionAndReadsTheState) {
    auto control = Open();
    EXPECT_EQ(m_sim.Log(), "DIS:MOD?|DMM:FUNC?|DMM:RANGE:AUTO?|DMM:LOGG:SECD?|DMM:HOLD?");
    EXPECT_EQ(control->FunctionIndex(), 2);  // DCV
    EXPECT_EQ(control->Ranges().size(), 6u);
    EXPECT_EQ(control->Ranges()[1].text, "400 mV");  // shown as written, not as megavolts
    EXPECT_TRUE(control->AutoRange());
    EXPECT_EQ(control->SelectedRange(), -1);
    EXPECT_EQ(control->TimeBase(), 0);  // 240 s
    EXPECT_STREQ(control->HoldCaption(), "HOLD");
    EXPECT_TRUE(m_sim.Messages().empty());
}

TEST_F(DmmRangeTest, ClickingTheThirdRangeLeavesAutoRangeAndReadsBack) {
    auto control = Open();
    m_sim.Log();
    control->ClickRange(2);
    EXPECT_EQ(m_sim.Log(),
              "DMM:RANGE:AUTO OFF|DMM:RANGE:DCV 4|CLEARM|DMM:RANGE:AUTO?|DMM:RANGE:DCV?|"
              "DMM:LOGG:SECD?|DMM:HOLD?");
    EXPECT_FALSE(control->AutoRange());
    EXPECT_EQ(control->SelectedRange(), 2);
    // Back to auto range.
    control->SetAutoRange(true);
    EXPECT_EQ(m_sim.Log(), "DMM:RANGE:AUTO ON|CLEARM|DMM:RANGE:AUTO?|DMM:LOGG:SECD?|DMM:HOLD?");
    EXPECT_TRUE(control->AutoRange());
    EXPECT_TRUE(m_sim.Messages().empty());
}

TEST_F(DmmRangeTest, AFunctionWithoutRangeTableHasAutoRangeAndRangeChangesOnlyClear) {
    auto control = Open();
    m_sim.Log();
    control->SelectFunction(4);  // CONT: beyond LOGCOUNT 3
    EXPECT_EQ(m_sim.Log(), "DMM:FUNC CONT|DMM:LOGG:SECD?|DMM:HOLD?");
    EXPECT_TRUE(control->AutoRange());
    EXPECT_TRUE(control->Ranges().empty());
    control->SetAutoRange(false);
    EXPECT_EQ(m_sim.Log(), "CLEARM|DMM:LOGG:SECD?|DMM:HOLD?");
}

TEST_F(DmmRangeTest, HoldTimeBaseAndFailedSends) {
    auto control = Open();
    m_sim.Log();
    control->ToggleHold();
    EXPECT_STREQ(control->HoldCaption(), "RUN");
    control->SelectTimeBase(2);
    EXPECT_EQ(m_sim.Log(), "DMM:HOLD ON|DMM:LOGG:SECD 960");
    EXPECT_EQ(control->TimeBase(), 2);
    m_sim.Transport().SendCommand("KTXSIM:DROP 0");  // the line goes dead
    control->ToggleHold();
    control->ToggleHold();
    EXPECT_STREQ(control->HoldCaption(), "RUN");  // a failed send changes nothing
}

struct DmmValueCase {
    const char* setup;
    int invalid;
    const char* text;
    int pauses;
};

class DmmValueTest : public DmmRangeTest, public testing::WithParamInterface<DmmValueCase> {};

TEST_P(DmmValueTest, MessShowsTheValueOrOverRange) {
    auto control = Open();
    if (*GetParam().setup != '\0') {
        m_sim.Transport().SendCommand(GetParam().setup);
    }
    m_sim.Transport().SendCommand("KTXSIM:INVALID " + std::to_string(GetParam().invalid));
    m_sim.Log();
    EXPECT_EQ(control->Measure(), GetParam().text);
    EXPECT_EQ(static_cast<int>(m_waits.size()), GetParam().pauses);
    if (GetParam().pauses == 1) {
        EXPECT_EQ(m_waits.front(), DmmRangeControl::kRetryPauseMs);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, DmmValueTest,
    testing::Values(DmmValueCase{"", 0, "1.5V", 0}, DmmValueCase{"", 1, "1.5V", 1},
                    DmmValueCase{"", 2, "over Range", 1},
                    // A manual range below the reading.
                    DmmValueCase{"DMM:RANGE:AUTO OFF;:DMM:RANGE:DCV 400E-3", 0, "over Range", 1},
                    // The instrument measures another function than the dialog shows.
                    DmmValueCase{"DMM:FUNC OHMS", 0, "", 0}));

TEST(DmmCaptureTest, ReadsAndTransfersTheLoggersMeasurements) {
    test::TempDir dir;
    test::SimLink sim(dir, 9);
    sim.Transport().SendCommand("DMM:LOGG:MODE PEAK;:DMM:MEASU:MEAS2:STATE ON;TYPE MAXIMUM");
    sim.Log();
    DmmCapture capture(sim.Transport(), sim.Notes(),
                       ReadMeterDefinition(DriverFile("kt_ths720p.ini")));
    DmmCapture::State state = capture.ReadState();
    EXPECT_EQ(state.mode, DmmCapture::kModePeak);  // "PEAKDETECT" checks "&Peak Detect"
    EXPECT_EQ(state.shown, (std::array<bool, 3>{false, true, false}));
    EXPECT_EQ(state.type[1], 2);   // MAXIMUM
    EXPECT_EQ(state.type[0], -1);  // "NONE" is none of the file's types
    sim.Log();
    state.shown = {true, false, true};
    state.type = {0, 1, 2};
    state.mode = DmmCapture::kModeAverage;
    state = capture.Transfer(state);
    EXPECT_EQ(sim.Log(),
              "DMM:MEASU:MEAS1:STATE ON|DMM:MEASU:MEAS1:TYPE AVERAGE|DMM:MEASU:MEAS2:STATE OFF|"
              "DMM:MEASU:MEAS2:TYPE MINIMUM|DMM:MEASU:MEAS3:STATE ON|"
              "DMM:MEASU:MEAS3:TYPE MAXIMUM|DMM:LOGG:MODE AVE|"
              "DMM:MEASU:MEAS1:STATE?|DMM:MEASU:MEAS1:TYPE?|DMM:MEASU:MEAS2:STATE?|"
              "DMM:MEASU:MEAS2:TYPE?|DMM:MEASU:MEAS3:STATE?|DMM:MEASU:MEAS3:TYPE?|DMM:LOGG:MOD?");
    EXPECT_EQ(state.mode, DmmCapture::kModeAverage);
    EXPECT_EQ(state.type, (std::array<int, 3>{0, 1, 2}));
    EXPECT_TRUE(sim.Messages().empty());
}

TEST(DmmCaptureTest, AFailedTransferSaysSoInTheMessagesOwnSpelling) {
    test::TempDir dir;
    test::SimLink sim(dir, 9);
    DmmCapture capture(sim.Transport(), sim.Notes(),
                       ReadMeterDefinition(DriverFile("kt_ths720p.ini")));
    DmmCapture::State state;
    state.type = {0, 0, 0};
    state.mode = DmmCapture::kModeSample;
    sim.Transport().CloseLink();  // every send fails now
    capture.Transfer(state);
    ASSERT_FALSE(sim.Notes().shown.empty());
    EXPECT_EQ(sim.Notes().shown.front().stringId, 10029);
    EXPECT_EQ(sim.Notes().shown.front().text, "Satus konnte nicht geschrieben werden");
}

// --- the handheld's exclamation set -----------------------------------------------------

// A status answer laid out by position (counted from 1): 24 range, 27-28 status byte,
// 29 auto range, 33-34 continuity, 35-36 function number.
std::string StatusText(char range, const char* statusByte, bool autoRange, bool continuity,
                       const char* function) {
    std::string s(36, '0');
    s[0] = 'h';
    s[23] = range;
    s[26] = statusByte[0];
    s[27] = statusByte[1];
    s[28] = autoRange ? '1' : '0';
    if (continuity) {
        s[32] = '0';
        s[33] = 'D';
    }
    s[34] = function[0];
    s[35] = function[1];
    return s;
}

struct StatusCase {
    std::string answer;
    bool valid;
    const char* range;
    unsigned statusByte;
    bool continuity;
    const char* function;
};

class HandheldStatusTest : public testing::TestWithParam<StatusCase> {};

TEST_P(HandheldStatusTest, FieldsByPosition) {
    const auto status = ParseHandheldStatus(GetParam().answer);
    ASSERT_EQ(status.has_value(), GetParam().valid);
    if (status) {
        EXPECT_EQ(status->rangeCode, GetParam().range);
        EXPECT_EQ(status->statusByte, GetParam().statusByte);
        EXPECT_EQ(status->continuity, GetParam().continuity);
        EXPECT_EQ(status->functionNumber, GetParam().function);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, HandheldStatusTest,
    testing::Values(
        StatusCase{StatusText('3', "02", false, false, "05"), true, "3", 2, false, "05"},
        StatusCase{StatusText('0', "00", true, false, "0A"), true, "A", 0, false, "10"},
        StatusCase{StatusText('0', "10", true, true, "0A"), true, "A", 16, true, "10"},
        StatusCase{StatusText('0', "1G", true, true, "0A"), false, "", 0, false, ""},
        StatusCase{StatusText('0', "00", true, false, "0A") + "0", false, "", 0, false, ""},
        StatusCase{"", false, "", 0, false, ""}));

// "Mess" from the three answers: a reading beyond single precision is no reading (it showed
// "inf"), over range and continuity come from the status byte.
struct ReadingCase {
    const char* name;
    std::string status;
    std::string main;
    std::string secondary;
    const char* units;
    bool ok;
    const char* mainText;
    const char* secondaryText;
};

class HandheldReadingTest : public testing::TestWithParam<ReadingCase> {};

TEST_P(HandheldReadingTest, ShowsWhatTheAnswersSay) {
    const ReadingCase& c = GetParam();
    HandheldMeter::Reading reading;
    EXPECT_EQ(HandheldMeter::ReadingFromAnswers(c.status, c.main, c.secondary, c.units, reading),
              c.ok);
    EXPECT_EQ(reading.main, c.mainText);
    EXPECT_EQ(reading.secondary, c.secondaryText);
}

const std::string kPlain = StatusText('0', "00", true, false, "02");
INSTANTIATE_TEST_SUITE_P(
    Answers, HandheldReadingTest,
    testing::Values(
        ReadingCase{"Plain", kPlain, "M0;1.5E0", "U0;5E1", "V;HZ", true, "1.5V", "50HZ"},
        ReadingCase{"BeyondFloat", kPlain, "M0;1E39", "U0;-1E300", "V;HZ", false, "V", ""},
        ReadingCase{"MainOver", StatusText('0', "02", true, false, "02"), "M0;9.9E37", "U0;1",
                    "V;HZ", true, "over Range", "1HZ"},
        ReadingCase{"Continuity", StatusText('0', "10", true, true, "0A"), "M0;0.5", "U0;x", "OHM;",
                    true, "500mOHM", "short"},
        ReadingCase{"ShortStatus", kPlain.substr(1), "M0;1", "U0;1", "V;HZ", false, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

class HandheldTest : public testing::Test {
  protected:
    HandheldTest()
        : m_sim(m_dir, 20),
          m_meter(m_sim.Transport(), ReadMeterDefinition(DriverFile("kt_ths3014.ini"))) {
        m_sim.Transport().SendCommand("KTXSIM:CLOCK 0");  // continuity open (closed at 6)
        m_meter.Open(m_sim.Notes());
        m_sim.Log();
    }
    HandheldMeter::Reading Measure() {
        HandheldMeter::Reading reading;
        EXPECT_TRUE(m_meter.Measure(reading, m_sim.Notes()));
        return reading;
    }

    test::TempDir m_dir;
    test::SimLink m_sim;
    HandheldMeter m_meter;
};

TEST_F(HandheldTest, FunctionAndRangeSelectionFollowTheStatus) {
    EXPECT_EQ(m_meter.Current().function, 0);  // 01 V DC
    EXPECT_EQ(m_meter.Current().range, 0);     // "00" Auto
    m_meter.SelectFunction(4, m_sim.Notes());  // 05 resistance
    EXPECT_EQ(m_sim.Log(), "!T05,A|!h00?");
    ASSERT_EQ(m_meter.Current().ranges.size(), 7u);
    m_meter.SelectRange(3, m_sim.Notes());  // "03": 40 kOhm
    EXPECT_EQ(m_sim.Log(), "!T05,03|!h00?");
    EXPECT_EQ(m_meter.Current().function, 4);
    EXPECT_EQ(m_meter.Current().range, 3);
    EXPECT_EQ(Measure().main, "1kOHM");
    EXPECT_EQ(m_sim.Log(), "!h00?|!h00?|!M?|!U?");
    m_meter.SelectRange(1, m_sim.Notes());  // 400 Ohm: 1 kOhm is over range
    const HandheldMeter::Reading over = Measure();
    EXPECT_EQ(over.main, "over Range");
    EXPECT_EQ(over.secondary, "over Range");
    EXPECT_TRUE(m_sim.Messages().empty());
}

TEST_F(HandheldTest, ContinuityShowsShortAndOpen) {
    m_meter.SelectFunction(9, m_sim.Notes());  // 10 continuity (status 0A)
    EXPECT_EQ(m_meter.Current().function, 9);
    EXPECT_TRUE(m_meter.Current().ranges.empty());
    EXPECT_EQ(Measure().secondary, "open");
    m_sim.Transport().SendCommand("KTXSIM:CLOCK 6");
    const HandheldMeter::Reading closed = Measure();
    EXPECT_EQ(closed.secondary, "short");
    EXPECT_EQ(closed.main, "500mOHM");
}

TEST_F(HandheldTest, VoltageAcShowsFrequencyAsSecondary) {
    m_meter.SelectFunction(1, m_sim.Notes());  // 02: V;HZ
    const HandheldMeter::Reading reading = Measure();
    EXPECT_EQ(reading.main, "1.768V");
    EXPECT_EQ(reading.secondary, "1kHZ");
}

TEST(HandheldUnitsTest, APairWithoutSecondaryUnitLeavesTheSecondLabelEmpty) {
    test::TempDir dir;
    test::SimLink sim(dir, 20);
    MeterDefinition definition = ReadMeterDefinition(DriverFile("kt_ths3014.ini"));
    definition.functions[0].unit = "V;";
    HandheldMeter meter(sim.Transport(), definition);
    meter.Open(sim.Notes());
    HandheldMeter::Reading reading;
    EXPECT_TRUE(meter.Measure(reading, sim.Notes()));
    EXPECT_EQ(reading.main.back(), 'V');
    EXPECT_EQ(reading.secondary, "");
}

TEST(HandheldUnitsTest, ASilentMeterGivesMessages26And17) {
    test::TempDir dir;
    test::SimLink sim(dir, 20);
    HandheldMeter meter(sim.Transport(), ReadMeterDefinition(DriverFile("kt_ths3014.ini")));
    meter.Open(sim.Notes());
    sim.Messages();
    sim.Transport().SendCommand("KTXSIM:FAULT SILENT");
    HandheldMeter::Reading reading;
    EXPECT_FALSE(meter.Measure(reading, sim.Notes()));
    EXPECT_EQ(sim.Messages(), (std::vector<int>{26, 17}));
}

}  // namespace
}  // namespace ktx
