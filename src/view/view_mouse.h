// SPDX-License-Identifier: GPL-3.0-or-later
// What the waveform view's mouse actions compute, without the window: the point under the
// pointer, the cursor a press grabs, the range a dragged rectangle selects, the value range
// of the shown points for the vertical autoscale, and the pointer's readout text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "waveform/waveform_record.h"

namespace ktx {

// A press this close to a cursor line (in pixels) grabs the cursor.
constexpr double kCursorGrabPixels = 4.0;
// A drag narrower than this (in pixels) is a click, not a rectangle.
constexpr double kMinDragPixels = 5.0;
// The fewest points a view shows (as zooming in with the button).
constexpr std::int32_t kMinShownPoints = 5;

struct ShownRange {
    std::int32_t first = 0;
    std::int32_t count = 0;
    bool operator==(const ShownRange&) const = default;
};

// The plot's horizontal extent: the shown points spread over left .. right.
struct PlotSpan {
    int left = 0;
    int right = 0;
    double Width() const { return right - left; }
};

// The shown point under x, as a click picks it; -1 outside the plot (its edges included).
std::int32_t PointAtX(double x, PlotSpan span, ShownRange shown);
// Where a shown point is drawn.
double XOfPoint(std::int32_t index, PlotSpan span, ShownRange shown);

// The cursor (1 or 2) whose line is within kCursorGrabPixels of x, the nearer one when both
// are; 0 for none. A cursor that is not shown cannot be grabbed.
int CursorAt(double x, PlotSpan span, ShownRange shown, std::int32_t cursor1, std::int32_t cursor2);

// The points between two x positions of a dragged rectangle, at least kMinShownPoints and
// within the record of `total` points; nothing for a drag narrower than kMinDragPixels.
std::optional<ShownRange> RangeOfDrag(double x0, double x1, PlotSpan span, ShownRange shown,
                                      std::int32_t total);

// The smallest and largest value of the shown points of column `values` (lowest first); a
// flat curve gets a range around its value, so a grid can be drawn.
struct ValueSpan {
    double low = 0;
    double high = 0;
};
ValueSpan ShownValueSpan(const WaveformRecord& record, ShownRange shown);

// "t: <time of the point under the pointer>  y: <value at the pointer's height>" with prefix
// and unit; point numbers ("P: 123") on a sample axis.
std::string PointerReadout(const WaveformRecord& record, std::int32_t index, double value);

}  // namespace ktx
