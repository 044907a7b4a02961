// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement dialog's sequences against the simulated instrument's command log, per
// device family (slot IMM or MEAS1), the retry on "no valid result" (9.9E37) with its one
// fixed pause, and a confirmation that does not hold the selection.
#include "tools/measurement.h"

#include <gtest/gtest.h>

#include "tools/measure_test_support.h"

namespace ktx {
namespace {

struct SequenceCase {
    int type;
    const char* slot;
};

class MeasurementSequenceTest : public testing::TestWithParam<SequenceCase> {};

TEST_P(MeasurementSequenceTest, MessenSendsTheSlotsSequenceAndShowsTheValue) {
    test::TempDir dir;
    test::SimLink sim(dir, GetParam().type);
    sim.Transport().SendCommand("KTXSIM:CLOCK 0");
    std::vector<int> waits;
    Measurement m(sim.Transport(), sim.Notes(), GetParam().type,
                  [&](int ms) { waits.push_back(ms); });
    m.Open();
    MeasurementLabels labels;
    ASSERT_TRUE(m.Measure("FREQ", "CH1", labels));
    const std::string s = std::string("MEASU:") + GetParam().slot;
    EXPECT_EQ(sim.Log(), "HEADER OFF|VERBOSE ON|" + s + ":STATE 1|" + s + ":TYP FREQ|" + s +
                             ":SOU CH1|" + s + ":TYP?|" + s + ":SOU?|" + s + ":VAL?|" + s +
                             ":UNI?");
    EXPECT_EQ(waits, (std::vector<int>{50, 50, 50}));
    EXPECT_EQ(labels.type, "FREQUENCY");
    EXPECT_EQ(labels.source, "CH1");
    // CH1 is a 1 kHz sine: the value with its prefix and the unit without quotes.
    EXPECT_EQ(labels.value.substr(labels.value.size() - 3), "kHz") << labels.value;
    EXPECT_NEAR(m.LastValue(), 1000.0, 10.0);
    EXPECT_TRUE(sim.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Families, MeasurementSequenceTest,
                         testing::Values(SequenceCase{1, "MEAS1"}, SequenceCase{2, "IMM"},
                                         SequenceCase{9, "IMM"}, SequenceCase{10, "MEAS1"},
                                         SequenceCase{12, "MEAS1"}, SequenceCase{14, "MEAS1"}));

// The instrument has no valid result for `invalid` value queries in a row.
struct RetryCase {
    int invalid;
    const char* value;
    int valueQueries;
};

class MeasurementRetryTest : public testing::TestWithParam<RetryCase> {};

TEST_P(MeasurementRetryTest, OneFixedPauseAndOneRepeatedQuery) {
    test::TempDir dir;
    test::SimLink sim(dir, 1);
    sim.Transport().SendCommand("KTXSIM:CLOCK 0;:KTXSIM:INVALID " +
                                std::to_string(GetParam().invalid));
    std::vector<int> waits;
    Measurement m(sim.Transport(), sim.Notes(), 1, [&](int ms) { waits.push_back(ms); });
    MeasurementLabels labels;
    sim.Transport().SendCommand("MEASU:MEAS1:TYP PK2PK");
    sim.Log();
    ASSERT_TRUE(m.ReadValue(labels));
    const std::string expectedValue = GetParam().value;
    if (expectedValue == "overflow") {
        EXPECT_EQ(labels.value, "overflow");
    } else {
        EXPECT_EQ(labels.value.back(), 'V') << labels.value;
        EXPECT_NEAR(m.LastValue(), 5.0, 0.3);
    }
    std::string expected;
    for (int i = 0; i < GetParam().valueQueries; ++i) {
        expected += "MEASU:MEAS1:VAL?|";
    }
    EXPECT_EQ(sim.Log(), expected + "MEASU:MEAS1:UNI?");
    EXPECT_EQ(waits, GetParam().valueQueries == 2 ? std::vector<int>{500} : std::vector<int>{});
}

INSTANTIATE_TEST_SUITE_P(Invalid, MeasurementRetryTest,
                         testing::Values(RetryCase{0, "V", 1}, RetryCase{1, "V", 2},
                                         RetryCase{2, "overflow", 2},
                                         RetryCase{-1, "overflow", 2}));

TEST(MeasurementTest, AConfirmationWithoutTheSelectionReadsNoValueAndSaysSo) {
    test::TempDir dir;
    test::SimLink sim(dir, 1);
    Measurement m(sim.Transport(), sim.Notes(), 1, [](int) {});
    MeasurementLabels labels;
    labels.value = "before";
    // The instrument refuses the type: it still measures NONE.
    EXPECT_FALSE(m.Measure("BOGUS", "CH1", labels));
    EXPECT_EQ(sim.Log(),
              "MEASU:MEAS1:STATE 1|MEASU:MEAS1:TYP BOGUS|MEASU:MEAS1:SOU CH1|MEASU:MEAS1:TYP?");
    EXPECT_EQ(labels.type, "NONE");
    EXPECT_EQ(labels.value, "before");
    EXPECT_EQ(sim.Messages(), std::vector<int>{17});
}

TEST(MeasurementTest, SilentInstrumentFailsWithoutHanging) {
    test::TempDir dir;
    test::SimLink sim(dir, 2);
    sim.Notes().confirmAnswer = false;  // "Gerät antwortet nicht, wiederholen?": Abbrechen
    sim.Transport().SendCommand("KTXSIM:FAULT SILENT");
    Measurement m(sim.Transport(), sim.Notes(), 2, [](int) {});
    MeasurementLabels labels;
    EXPECT_FALSE(m.Measure("FREQ", "CH1", labels));
    const std::vector<int> messages = sim.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), 17);
}

struct NumberCase {
    const char* text;
    bool ok;
    double value;
};

class InstrumentNumberTest : public testing::TestWithParam<NumberCase> {};

TEST_P(InstrumentNumberTest, DecimalAndExponentNotationOnly) {
    double value = -1.0;
    EXPECT_EQ(ParseInstrumentNumber(GetParam().text, value), GetParam().ok) << GetParam().text;
    if (GetParam().ok) {
        EXPECT_DOUBLE_EQ(value, GetParam().value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, InstrumentNumberTest,
    testing::Values(NumberCase{"1.234E3", true, 1234.0}, NumberCase{" -5\n", true, -5.0},
                    NumberCase{"9.9E37", true, 9.9e37}, NumberCase{"12.5", true, 12.5},
                    NumberCase{"", false, 0}, NumberCase{"0x10", false, 0},
                    NumberCase{"inf", false, 0}, NumberCase{"1E999", false, 0},
                    NumberCase{"MEAS 1.5", false, 0}, NumberCase{"1.5V", false, 0}));

TEST(MeasurementTest, ContinuousIntervalIsTwiceTheRead) {
    EXPECT_EQ(Measurement::ContinuousInterval(180), 360);
    EXPECT_EQ(Measurement::ContinuousInterval(0), Measurement::kMinContinuousMs);
}

TEST(MeasurementTest, SlotNames) {
    for (const int type : {1, 10, 12, 14, 19, 20, 30}) {
        EXPECT_EQ(MeasurementSlotName(type), "MEAS1") << type;
    }
    EXPECT_EQ(MeasurementSlotName(2), "IMM");
    EXPECT_EQ(MeasurementSlotName(9), "IMM");
}

}  // namespace
}  // namespace ktx
