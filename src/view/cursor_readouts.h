// SPDX-License-Identifier: GPL-3.0-or-later
// What the waveform view shows about its two cursors: the value and time readouts, and the
// measurement of the range between them (difference, frequency, minimum, maximum, mean, RMS,
// peak to peak, cycle area, sum).
#pragma once

#include <cstdint>
#include <string>

#include "waveform/waveform_record.h"

namespace ktx {

// The measurement items of the view, strings 100..108 of the string table.
enum class Measurement {
    Difference = 0,
    Frequency,
    Minimum,
    Maximum,
    Mean,
    Rms,
    PeakToPeak,
    CycleArea,
    Sum,
};
constexpr int kMeasurementCount = 9;
// A peak-detect view offers only the first six: the others would measure the envelope.
constexpr int kPeakMeasurementCount = 6;
constexpr int kMeasurementStringBase = 100;

// Sums at or beyond this magnitude are not shown.
constexpr double kStatisticsLimit = 1e38;

struct CursorStatistics {
    std::int32_t first = 0;  // the smaller cursor, clamped to the record
    std::int32_t span = 0;   // points first..first + span are measured
    double minimum = 1e38;
    double maximum = -1e38;
    double sum = 0.0;
    double mean = 0.0;
    double rms = 0.0;
    double cycleArea = 0.0;
    bool meanValid = true;
    bool rmsValid = true;
    bool cycleAreaValid = true;
};

// Statistics of the points between (and including) the two cursors. An empty record gives the
// default statistics.
CursorStatistics StatisticsBetween(const WaveformRecord& record, std::int32_t cursor1,
                                   std::int32_t cursor2);

// The time of point i as the statistics use it: seconds, or the point number on a sample axis.
double PointTime(const WaveformRecord& record, std::int32_t i);

struct CursorReadouts {
    std::string wertanz;      // "Wert1: ..."
    std::string wertanz2;     // "Wert2: ..."
    std::string measurement;  // the selected measurement's value (mess_pan)
    std::string difference;   // the time (or point) difference text
    double frequency = 0.0;   // 1 / difference, 0 when the cursors coincide
    CursorStatistics statistics;
};

CursorReadouts ComputeReadouts(const WaveformRecord& record, std::int32_t cursor1,
                               std::int32_t cursor2, Measurement selected);

// The time text of point i for the readouts: "00:01:5.2500", "12.500ms" or "250Px".
std::string PointTimeText(const WaveformRecord& record, std::int32_t i);

// "s", "ms", "us" or "ns" for the record's time scale, "Px" on a sample axis.
std::string TimeUnitText(const WaveformRecord& record);

}  // namespace ktx
