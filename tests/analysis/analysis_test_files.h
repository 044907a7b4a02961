// SPDX-License-Identifier: GPL-3.0-or-later
// Sources and readers for the analysis tests.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analysis/result_files.h"
#include "waveform/time_field.h"

namespace ktx::test {

// A four-column file with the given units; record i gets x = seconds(i) and columns(i).
bool WriteFourColumnFile(const std::string& path, std::int64_t points,
                         const std::array<std::string, 4>& units,
                         const std::function<double(std::int64_t)>& seconds,
                         const std::function<std::array<double, 4>(std::int64_t)>& columns);

// A one-column file from explicit values, 1 ms apart unless `seconds` is given.
bool WriteValues(const std::string& path, const std::vector<double>& values,
                 const std::function<double(std::int64_t)>& seconds = {});

// The data records of a one-column file: times in seconds and values.
struct OneColumn {
    std::string unit;
    float version = 0.0f;
    std::vector<double> t;
    std::vector<double> y;
};
OneColumn ReadOneColumn(const std::string& path);

// A spectrum or math result file as its view reads it.
ResultTable ReadResult(const std::string& path, WaveLayout layout);

}  // namespace ktx::test
