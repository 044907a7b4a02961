// SPDX-License-Identifier: GPL-3.0-or-later
// What a view loads from a waveform file: the x values and one column of y values, with the
// units, the y range and the display time scale.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "waveform/real6.h"
#include "waveform/time_field.h"
#include "waveform/wave_file.h"

namespace ktx {

class Notifier;

struct WaveformRecord {
    std::string fileName;  // the file actually read
    std::filesystem::file_time_type fileDate;
    std::int32_t pointCount = 0;
    std::vector<TimeField> xValues;
    std::vector<Real6> yValues;
    UnitStrings units;        // slots 1..3 are "#" for a one-column file
    WaveLayout layout = WaveLayout::OneColumn;
    float version = 0.0f;
    std::int32_t column = 0;  // 0..3, the column shown
    Real6 yMax;               // both start at 0, so the range always contains 0
    Real6 yMin;
    double timeScale = 1.0;   // seconds to the displayed unit: 1, 1E3, 1E6 or 1E9
    bool sampleAxis = false;  // x axis in point numbers ("Px")
};

// Asked when a four-column file has more than one present column; returns the column 0..3, or
// nothing when the user cancelled (the load then fails without a message).
using ColumnChooser = std::function<std::optional<int>(const UnitStrings& units)>;

// Loads `path` (the user's own file, the conversion file or the compression file). A file that
// is not a one- or four-column waveform file shows message 12 and gives nothing; so does a file
// with more points than a record can hold.
std::optional<WaveformRecord> LoadWaveform(const std::string& path, bool sampleAxis,
                                           const ColumnChooser& chooseColumn, Notifier& notifier);

// The display time scale for a time axis from the first and last x values.
double TimeScaleFor(const TimeField& first, const TimeField& last);

}  // namespace ktx
