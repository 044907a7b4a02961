// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/time_field.h"

#include <gtest/gtest.h>

namespace ktx {
namespace {

TEST(TimeField, LayoutIsHoursMinutesAndALittleEndianSingle) {
    const TimeField t = TimeField::Make(1, 2, 1.5f);
    const std::array<std::uint8_t, 6> expected{0x01, 0x02, 0x00, 0x00, 0xC0, 0x3F};
    EXPECT_EQ(t.bytes, expected);
}

TEST(TimeField, SecondsSplitIntoHoursMinutesSeconds) {
    const TimeField t = SecondsToTimeField(3725.5);
    EXPECT_EQ(t.Hours(), 1);
    EXPECT_EQ(t.Minutes(), 2);
    EXPECT_EQ(t.Seconds(), 5.5f);
    EXPECT_EQ(TimeFieldToSeconds(t), 3725.5);

    // Oscilloscope times stay in the seconds field, negative ones included.
    const TimeField pre = SecondsToTimeField(-0.0125);
    EXPECT_EQ(pre.Hours(), 0);
    EXPECT_EQ(pre.Minutes(), 0);
    EXPECT_EQ(pre.Seconds(), -0.0125f);

    const TimeField justUnderAMinute = SecondsToTimeField(59.75);
    EXPECT_EQ(justUnderAMinute.Minutes(), 0);
    const TimeField aMinute = SecondsToTimeField(60.0);
    EXPECT_EQ(aMinute.Minutes(), 1);
    EXPECT_EQ(aMinute.Seconds(), 0.0f);
}

TEST(TimeField, TimesTheBytesCannotHoldKeepTheirValue) {
    // A minute and more before the trigger: the unsigned bytes would wrap.
    const TimeField before = SecondsToTimeField(-150.25);
    EXPECT_EQ(before.Hours(), 0);
    EXPECT_EQ(before.Minutes(), 0);
    EXPECT_EQ(TimeFieldToSeconds(before), -150.25);

    // 300 hours of logging.
    const double t = 300.0 * 3600 + 17 * 60 + 3.0;
    const TimeField late = SecondsToTimeField(t);
    EXPECT_EQ(late.Hours(), 255);
    EXPECT_DOUBLE_EQ(TimeFieldToSeconds(late), t);
}

TEST(TimeField, Milliseconds) {
    EXPECT_EQ(MillisecondsToTimeField(86'400'000), TimeField{});
    EXPECT_EQ(MillisecondsToTimeField(86'399'999).Hours(), 23);
    EXPECT_EQ(MillisecondsToTimeField(0), TimeField{});
    // The seconds field is 0 when the remainder after the hours is 0.
    EXPECT_EQ(MillisecondsToTimeField(3'600'000), TimeField::Make(1, 0, 0.0f));
    EXPECT_EQ(MillisecondsToTimeField(3'723'456), TimeField::Make(1, 2, 3.456f));
    for (std::int32_t ms : {1, 7, 999, 1000, 59'999, 60'000, 61'001, 3'599'999, 80'000'123}) {
        EXPECT_EQ(TimeFieldToMilliseconds(MillisecondsToTimeField(ms)), ms) << ms;
    }
    EXPECT_EQ(TimeFieldToMilliseconds(TimeField::Make(0, 0, 0.0006f)), 1);  // to nearest
    EXPECT_EQ(TimeFieldToMilliseconds(TimeField::Make(0, 0, 0.0004f)), 0);
    EXPECT_EQ(TimeFieldToMilliseconds(MillisecondsToTimeField(-250)), -250);
}

TEST(TimeField, Texts) {
    EXPECT_EQ(FormatTimeHMS(TimeField::Make(0, 0, 5.25f)), "00:00:5.2500");
    EXPECT_EQ(FormatTimeHMS(TimeField::Make(5, 7, 12.5f)), "05:07:12.5000");
    EXPECT_EQ(FormatTimeHMS(TimeField::Make(123, 45, 0.0f)), "123:45:0.0000");
    EXPECT_EQ(FormatTimeHM(TimeField::Make(5, 7, 12.5f)), "05:07:");
    EXPECT_EQ(FormatSeconds(TimeField::Make(0, 0, 5.256f)), "5.26");
    EXPECT_EQ(FormatSeconds(TimeField::Make(0, 0, -0.5f)), "-0.50");
    EXPECT_EQ(FormatSeconds(TimeField::Make(0, 0, 42.0f)), "42.00");
}

}  // namespace
}  // namespace ktx
