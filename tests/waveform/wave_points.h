// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the records of a waveform file straight from its bytes (files of fewer than four
// points are valid reader output even though a view does not open them), and reads the
// instrument's own CSV files independently of the program's readers.
#pragma once

#include <string>
#include <vector>

#include "waveform/wave_file.h"

namespace ktx::test {

struct WavePoint {
    double x;  // seconds
    double y;  // column 0
};

struct WaveContents {
    bool valid = false;
    WaveLayout layout = WaveLayout::OneColumn;
    float version = 0.0f;
    std::string unit0;
    std::vector<WavePoint> points;
};

WaveContents ReadWaveContents(const std::string& path);

// One CSV data line as printed, with the printed precision of each number (half a unit of its
// last digit).
struct CsvSample {
    double x;
    double y;
    double xHalfUnit;
    double yHalfUnit;
};

// The lines "x,y" (or "x,y,..." / the five-column form) that hold two numbers; other lines are
// skipped.
std::vector<CsvSample> ReadInstrumentCsv(const std::string& path);

}  // namespace ktx::test
