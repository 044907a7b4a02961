// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/view_test_files.h"

#include <cmath>
#include <numbers>

#include "waveform/block_file.h"
#include "waveform/real6.h"
#include "waveform/time_field.h"
#include "waveform/wave_file.h"

namespace ktx::test {

bool WriteOneColumnFile(const std::string& path, std::int64_t points,
                        const std::function<double(std::int64_t)>& seconds,
                        const std::function<double(std::int64_t)>& value, bool sampleIndex) {
    BlockWriter out(path);
    WaveFileHeader ref = ReferenceHeader(WaveLayout::OneColumn);
    if (sampleIndex) {
        ref.version = kSampleIndexVersion;
    }
    const auto h = MakeHeader1(ref, {sampleIndex ? "Px" : "V", "#", "#", "#"});
    out.Write(h.data(), h.size());
    for (std::int64_t i = 0; i < points; ++i) {
        const TimeField x = sampleIndex ? MillisecondsToTimeField(static_cast<std::int32_t>(i + 1))
                                        : SecondsToTimeField(seconds(i));
        const Real6 y = Real6::FromDouble(value(i));
        out.Write(x.bytes.data(), x.bytes.size());
        out.Write(y.bytes.data(), y.bytes.size());
    }
    return out.Close();
}

bool WriteSineFile(const std::string& path, std::int64_t points, double periods, double amplitude,
                   double offset, double dt) {
    return WriteOneColumnFile(
        path, points, [dt](std::int64_t i) { return static_cast<double>(i) * dt; },
        [=](std::int64_t i) {
            return offset +
                   amplitude * std::sin(2.0 * std::numbers::pi * periods * static_cast<double>(i) /
                                        static_cast<double>(points));
        });
}

bool WriteRampFile(const std::string& path, std::int64_t records) {
    return WriteOneColumnFile(
        path, records - 1, [](std::int64_t i) { return static_cast<double>(i) * 1e-6; },
        [](std::int64_t i) { return static_cast<double>(i); });
}

}  // namespace ktx::test
