// SPDX-License-Identifier: GPL-3.0-or-later
// Cursor readouts and the measurement between the cursors.
#include "view/cursor_readouts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "config/message_catalog.h"
#include "tools/format_with_prefix.h"

namespace ktx {
namespace {

constexpr int kStrWert1 = 10510;
constexpr int kStrZeit = 10511;
constexpr int kStrWert2 = 10512;

std::int32_t Clamp(const WaveformRecord& r, std::int32_t i) {
    return std::clamp<std::int32_t>(i, 0, std::max(0, r.pointCount - 1));
}

bool HasHoursOrMinutes(const TimeField& t) {
    return t.bytes[0] != 0 || t.bytes[1] != 0;
}

const std::string& Unit(const WaveformRecord& r) {
    return r.units[static_cast<std::size_t>(std::clamp(r.column, 0, 3))];
}

std::string Fixed3(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

}  // namespace

double PointTime(const WaveformRecord& r, std::int32_t i) {
    const TimeField& t = r.xValues[static_cast<std::size_t>(i)];
    return r.sampleAxis ? static_cast<double>(TimeFieldToMilliseconds(t)) : TimeFieldToSeconds(t);
}

std::string TimeUnitText(const WaveformRecord& r) {
    if (r.sampleAxis) {
        return "Px";
    }
    if (r.timeScale >= 1e9) {
        return "ns";
    }
    if (r.timeScale >= 1e6) {
        return "us";
    }
    if (r.timeScale >= 1e3) {
        return "ms";
    }
    return "s";
}

std::string PointTimeText(const WaveformRecord& r, std::int32_t i) {
    const TimeField& t = r.xValues[static_cast<std::size_t>(i)];
    if (r.sampleAxis) {
        return std::to_string(TimeFieldToMilliseconds(t)) + "Px";
    }
    if (HasHoursOrMinutes(t)) {
        return FormatTimeHMS(t);
    }
    return Fixed3(static_cast<double>(t.Seconds()) * r.timeScale) + TimeUnitText(r);
}

CursorStatistics StatisticsBetween(const WaveformRecord& r, std::int32_t cursor1,
                                   std::int32_t cursor2) {
    CursorStatistics s;
    if (r.pointCount <= 0) {
        return s;
    }
    const std::int32_t a = Clamp(r, std::min(cursor1, cursor2));
    std::int64_t n = std::llabs(static_cast<std::int64_t>(cursor2) - cursor1);
    n = std::min<std::int64_t>(n, r.pointCount - 1 - a);
    s.first = a;
    s.span = static_cast<std::int32_t>(n);

    double sumSquares = 0.0;
    double trapezoid = 0.0;
    double previous = 0.0;
    for (std::int32_t i = a; i <= a + s.span; ++i) {
        const double y = r.yValues[static_cast<std::size_t>(i)].ToDouble();
        s.minimum = std::min(s.minimum, y);
        s.maximum = std::max(s.maximum, y);
        s.sum += y;
        sumSquares += y * y;
        if (i > a) {
            trapezoid += (previous + y) / 2.0;
        }
        previous = y;
    }
    const double count = static_cast<double>(s.span) + 1.0;
    const double mean = s.sum / count;
    const double meanSquare = sumSquares / count;
    s.meanValid = std::fabs(mean) < kStatisticsLimit;
    s.rmsValid = std::fabs(meanSquare) < kStatisticsLimit;
    s.cycleAreaValid = std::fabs(trapezoid) < kStatisticsLimit;
    if (s.span == 0) {
        s.mean = previous;
        s.rms = std::fabs(previous);
    } else {
        s.mean = s.meanValid ? mean : 0.0;
        s.rms = s.rmsValid ? std::sqrt(meanSquare) : 0.0;
    }
    // The area assumes equal spacing: the trapezoid sum times the last interval.
    if (s.span > 0 && s.cycleAreaValid) {
        const std::int32_t last = a + s.span;
        s.cycleArea = trapezoid * (PointTime(r, last) - PointTime(r, last - 1));
    }
    return s;
}

CursorReadouts ComputeReadouts(const WaveformRecord& r, std::int32_t cursor1, std::int32_t cursor2,
                               Measurement selected) {
    CursorReadouts out;
    if (r.pointCount <= 0) {
        return out;
    }
    const std::string& unit = Unit(r);
    const std::int32_t c1 = Clamp(r, cursor1);
    const std::int32_t c2 = Clamp(r, cursor2);
    const std::string zeit(MessageCatalog::String(kStrZeit));
    out.wertanz = std::string(MessageCatalog::String(kStrWert1)) +
                  FormatWithPrefix(r.yValues[static_cast<std::size_t>(c1)].ToDouble(), unit) +
                  zeit + PointTimeText(r, c1);
    out.wertanz2 = std::string(MessageCatalog::String(kStrWert2)) +
                   FormatWithPrefix(r.yValues[static_cast<std::size_t>(c2)].ToDouble(), unit) +
                   zeit + PointTimeText(r, c2);

    const TimeField& t1 = r.xValues[static_cast<std::size_t>(c1)];
    const TimeField& t2 = r.xValues[static_cast<std::size_t>(c2)];
    double difference = 0.0;
    if (r.sampleAxis) {
        difference = static_cast<double>(TimeFieldToMilliseconds(t2)) - TimeFieldToMilliseconds(t1);
        out.difference = std::to_string(static_cast<long long>(difference)) + "Px";
    } else if (HasHoursOrMinutes(t1) || HasHoursOrMinutes(t2)) {
        difference = std::fabs(TimeFieldToSeconds(t2) - TimeFieldToSeconds(t1));
        out.difference = FormatTimeHMS(SecondsToTimeField(difference));
    } else {
        difference = static_cast<double>(t2.Seconds()) - static_cast<double>(t1.Seconds());
        out.difference = FormatWithPrefix(difference, "s");
    }
    out.frequency = difference != 0.0 ? 1.0 / difference : 0.0;
    out.statistics = StatisticsBetween(r, cursor1, cursor2);
    const CursorStatistics& s = out.statistics;
    // Sums that reached 1E38 have lost their meaning; show a dash rather than a number.
    const std::string invalid = "---";
    switch (selected) {
        case Measurement::Difference:
            out.measurement = out.difference;
            break;
        case Measurement::Frequency:
            out.measurement = FormatWithPrefix(out.frequency, "Hz");
            break;
        case Measurement::Minimum:
            out.measurement = FormatWithPrefix(s.minimum, unit);
            break;
        case Measurement::Maximum:
            out.measurement = FormatWithPrefix(s.maximum, unit);
            break;
        case Measurement::Mean:
            out.measurement = s.meanValid ? FormatWithPrefix(s.mean, unit) : invalid;
            break;
        case Measurement::Rms:
            out.measurement = s.rmsValid ? FormatWithPrefix(s.rms, unit) : invalid;
            break;
        case Measurement::PeakToPeak:
            out.measurement = FormatWithPrefix(s.maximum - s.minimum, unit);
            break;
        case Measurement::CycleArea:
            out.measurement =
                s.cycleAreaValid ? FormatWithPrefix(s.cycleArea, unit + "s") : invalid;
            break;
        case Measurement::Sum:
            out.measurement = FormatWithPrefix(s.sum, unit);
            break;
    }
    return out;
}

}  // namespace ktx
