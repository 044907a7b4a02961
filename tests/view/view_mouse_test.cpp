// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform view's mouse arithmetic: points under the pointer, which cursor a press grabs,
// the range of a dragged rectangle, the shown value range, the pointer's readout.
#include "view/view_mouse.h"

#include <gtest/gtest.h>

#include "waveform/real6.h"
#include "waveform/time_field.h"

namespace ktx {
namespace {

constexpr PlotSpan kSpan{100, 600};  // 500 pixels

TEST(ViewMouseTest, PointUnderThePointerAsAClickPicksIt) {
    struct Case {
        double x;
        ShownRange shown;
        std::int32_t index;
    };
    const Case cases[] = {
        {100, {0, 1000}, -1},    // the left edge is no point
        {600, {0, 1000}, -1},    // nor the right
        {101, {0, 1000}, 2},     // 1 pixel = 2 points
        {350, {0, 1000}, 500},   // the middle
        {350, {200, 100}, 250},  // zoomed in: 5 pixels a point
        {599, {200, 100}, -1},   // rounds to the point after the last shown
        {597, {200, 100}, 299},  // the last shown
        {350, {0, 0}, -1},       // nothing shown
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PointAtX(c.x, kSpan, c.shown), c.index) << c.x << " " << c.shown.first;
    }
    EXPECT_DOUBLE_EQ(XOfPoint(250, kSpan, {200, 100}), 350);
}

TEST(ViewMouseTest, APressNearACursorLineGrabsTheNearerCursor) {
    struct Case {
        double x;
        std::int32_t cursor1;
        std::int32_t cursor2;
        int grabbed;
    };
    // 1000 points on 500 pixels: point i at 100 + i / 2.
    const Case cases[] = {
        {150, 100, 400, 1},                      // on cursor 1
        {154, 100, 400, 1},                      // 4 pixels off still grabs
        {155, 100, 400, 0},                      // 5 do not
        {300, 100, 400, 2},                      // on cursor 2
        {151, 100, 104, 1},                      // both near: the nearer one
        {152, 100, 104, 2}, {150, 100, 100, 1},  // on top of each other: cursor 1
        {99, -5, 400, 0},  // a cursor before the shown range is not there to grab
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CursorAt(c.x, kSpan, {0, 1000}, c.cursor1, c.cursor2), c.grabbed) << c.x;
    }
    // Zoomed in, cursor 1 is off to the left: only cursor 2 can be grabbed.
    EXPECT_EQ(CursorAt(100, kSpan, {500, 100}, 100, 500), 2);
}

TEST(ViewMouseTest, ADraggedRectangleSelectsItsPoints) {
    struct Case {
        const char* name;
        double x0;
        double x1;
        ShownRange shown;
        std::int32_t total;
        std::optional<ShownRange> range;
    };
    const Case cases[] = {
        {"Forwards", 150, 350, {0, 1000}, 1000, ShownRange{100, 401}},
        {"Backwards", 350, 150, {0, 1000}, 1000, ShownRange{100, 401}},
        {"TooNarrowIsAClick", 150, 154, {0, 1000}, 1000, std::nullopt},
        {"PastTheEdgesStopsAtThem", 20, 900, {200, 100}, 1000, ShownRange{200, 101}},
        {"FewerThanFiveGrowsToFive", 300, 305, {0, 100}, 100, ShownRange{40, 5}},
        {"AtTheEndStaysInside", 590, 599, {0, 100}, 100, ShownRange{95, 5}},
        {"TinyRecord", 100, 600, {0, 3}, 3, ShownRange{0, 3}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RangeOfDrag(c.x0, c.x1, kSpan, c.shown, c.total), c.range) << c.name;
    }
}

WaveformRecord Record(const std::vector<double>& values, bool sampleAxis = false) {
    WaveformRecord r;
    r.pointCount = static_cast<std::int32_t>(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        r.yValues.push_back(Real6::FromDouble(values[i]));
        r.xValues.push_back(SecondsToTimeField(static_cast<double>(i) * 1e-3));
    }
    r.units = {"V", "#", "#", "#"};
    r.sampleAxis = sampleAxis;
    return r;
}

TEST(ViewMouseTest, AutoscaleTakesTheShownPointsOnly) {
    const WaveformRecord r = Record({-5, 1, 2, 3, 4, 9});
    const ValueSpan s = ShownValueSpan(r, {1, 4});
    EXPECT_DOUBLE_EQ(s.low, 1);
    EXPECT_DOUBLE_EQ(s.high, 4);
    const ValueSpan flat = ShownValueSpan(Record({2, 2, 2}), {0, 3});
    EXPECT_LT(flat.low, 2);
    EXPECT_GT(flat.high, 2);
    const ValueSpan zero = ShownValueSpan(Record({0, 0}), {0, 2});
    EXPECT_DOUBLE_EQ(zero.low, -1);
    EXPECT_DOUBLE_EQ(zero.high, 1);
    // A range reaching past the record stops at its end.
    EXPECT_DOUBLE_EQ(ShownValueSpan(r, {4, 100}).high, 9);
}

TEST(ViewMouseTest, PointerReadoutNamesTimeAndValue) {
    EXPECT_EQ(PointerReadout(Record({0, 0, 0, 0}), 2, 0.25), "t: 2ms  y: 250mV");
    EXPECT_EQ(PointerReadout(Record({0, 0, 0, 0}, true), 3, -1.5), "P: 3  y: -1.5V");
    EXPECT_EQ(PointerReadout(Record({0}), 7, 1), "t: -  y: 1V");
}

}  // namespace
}  // namespace ktx
