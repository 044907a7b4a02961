// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/view_mouse.h"

#include <algorithm>
#include <cmath>

#include "tools/format_with_prefix.h"
#include "waveform/time_field.h"

namespace ktx {

std::int32_t PointAtX(double x, PlotSpan span, ShownRange shown) {
    if (span.Width() <= 0 || shown.count <= 0 || x <= span.left || x >= span.right) {
        return -1;
    }
    const auto i =
        static_cast<std::int64_t>(std::lround((x - span.left) * shown.count / span.Width()));
    if (i >= shown.count) {
        return -1;
    }
    return shown.first + static_cast<std::int32_t>(i);
}

double XOfPoint(std::int32_t index, PlotSpan span, ShownRange shown) {
    if (shown.count <= 0) {
        return span.left;
    }
    const double x =
        span.left + static_cast<double>(index - shown.first) * span.Width() / shown.count;
    return std::min(x, static_cast<double>(span.right));
}

int CursorAt(double x, PlotSpan span, ShownRange shown, std::int32_t cursor1,
             std::int32_t cursor2) {
    int best = 0;
    double bestDistance = kCursorGrabPixels;
    const std::int32_t cursors[] = {cursor1, cursor2};
    for (int c = 0; c < 2; ++c) {
        const std::int32_t index = cursors[c];
        if (index < shown.first || index >= shown.first + shown.count) {
            continue;
        }
        const double d = std::abs(std::round(XOfPoint(index, span, shown)) - x);
        if (d <= bestDistance && (best == 0 || d < bestDistance)) {
            best = c + 1;
            bestDistance = d;
        }
    }
    return best;
}

std::optional<ShownRange> RangeOfDrag(double x0, double x1, PlotSpan span, ShownRange shown,
                                      std::int32_t total) {
    if (std::abs(x1 - x0) < kMinDragPixels || span.Width() <= 0 || shown.count <= 0 || total <= 0) {
        return std::nullopt;
    }
    const double a = std::clamp(std::min(x0, x1), static_cast<double>(span.left),
                                static_cast<double>(span.right));
    const double b = std::clamp(std::max(x0, x1), static_cast<double>(span.left),
                                static_cast<double>(span.right));
    const double perPixel = shown.count / span.Width();
    auto first = static_cast<std::int64_t>(std::floor(shown.first + (a - span.left) * perPixel));
    auto last = static_cast<std::int64_t>(std::ceil(shown.first + (b - span.left) * perPixel));
    last = std::min<std::int64_t>(last, total - 1);
    first = std::clamp<std::int64_t>(first, 0, total - 1);
    std::int64_t count = std::max<std::int64_t>(last - first + 1, std::min(kMinShownPoints, total));
    if (first + count > total) {
        first = total - count;
    }
    return ShownRange{static_cast<std::int32_t>(first), static_cast<std::int32_t>(count)};
}

ValueSpan ShownValueSpan(const WaveformRecord& record, ShownRange shown) {
    const std::int64_t end =
        std::min<std::int64_t>(static_cast<std::int64_t>(shown.first) + shown.count,
                               static_cast<std::int64_t>(record.yValues.size()));
    ValueSpan s{0, 0};
    bool any = false;
    for (std::int64_t i = std::max(0, shown.first); i < end; ++i) {
        const double v = record.yValues[static_cast<std::size_t>(i)].ToDouble();
        if (!std::isfinite(v)) {
            continue;
        }
        s.low = any ? std::min(s.low, v) : v;
        s.high = any ? std::max(s.high, v) : v;
        any = true;
    }
    if (s.high <= s.low) {
        const double half = s.low == 0 ? 1.0 : std::abs(s.low) * 0.1;
        s.low -= half;
        s.high += half;
    }
    return s;
}

std::string PointerReadout(const WaveformRecord& record, std::int32_t index, double value) {
    const std::string unit =
        record.units[static_cast<std::size_t>(std::clamp(record.column, 0, 3))];
    std::string x;
    if (index < 0 || index >= static_cast<std::int32_t>(record.xValues.size())) {
        x = "-";
    } else if (record.sampleAxis) {
        return "P: " + std::to_string(index) + "  y: " + FormatWithPrefix(value, unit);
    } else {
        x = FormatWithPrefix(TimeFieldToSeconds(record.xValues[static_cast<std::size_t>(index)]),
                             "s");
    }
    return "t: " + x + "  y: " + FormatWithPrefix(value, unit);
}

}  // namespace ktx
