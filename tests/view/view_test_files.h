// SPDX-License-Identifier: GPL-3.0-or-later
// Waveform files for the view tests and benchmarks, written record by record.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ktx::test {

// A one-column file (unit "V") of `points` points; point i gets x = seconds(i), y = value(i).
bool WriteOneColumnFile(const std::string& path, std::int64_t points,
                        const std::function<double(std::int64_t)>& seconds,
                        const std::function<double(std::int64_t)>& value, bool sampleIndex = false);

// `periods` periods of amplitude * sin + offset over `points` points spaced `dt` seconds.
bool WriteSineFile(const std::string& path, std::int64_t points, double periods,
                   double amplitude = 1.0, double offset = 0.0, double dt = 1e-5);

// A file of `records` records including the header, y = point index.
bool WriteRampFile(const std::string& path, std::int64_t records);

}  // namespace ktx::test
