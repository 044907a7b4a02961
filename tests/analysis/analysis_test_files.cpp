// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/analysis_test_files.h"

#include "test_files.h"
#include "view/view_test_files.h"
#include "waveform/block_file.h"
#include "waveform/real6.h"
#include "waveform/wave_file.h"

namespace ktx::test {

bool WriteFourColumnFile(const std::string& path, std::int64_t points,
                         const std::array<std::string, 4>& units,
                         const std::function<double(std::int64_t)>& seconds,
                         const std::function<std::array<double, 4>(std::int64_t)>& columns) {
    BlockWriter out(path);
    const auto h = MakeHeader4(ReferenceHeader(WaveLayout::FourColumn),
                               {units[0], units[1], units[2], units[3]});
    out.Write(h.data(), h.size());
    for (std::int64_t i = 0; i < points; ++i) {
        const TimeField x = SecondsToTimeField(seconds(i));
        out.Write(x.bytes.data(), 6);
        for (double v : columns(i)) {
            out.Write(Real6::FromDouble(v).bytes.data(), 6);
        }
    }
    return out.Close();
}

bool WriteValues(const std::string& path, const std::vector<double>& values,
                 const std::function<double(std::int64_t)>& seconds) {
    return WriteOneColumnFile(
        path, static_cast<std::int64_t>(values.size()),
        seconds ? seconds : [](std::int64_t i) { return static_cast<double>(i) * 1e-3; },
        [&values](std::int64_t i) { return values[static_cast<std::size_t>(i)]; });
}

OneColumn ReadOneColumn(const std::string& path) {
    const Bytes b = ReadFile(path);
    OneColumn c;
    if (b.size() < 12) {
        return c;
    }
    UnitStrings units;
    std::uint8_t header[30] = {};
    std::copy(b.begin(), b.begin() + std::min<std::size_t>(30, b.size()), header);
    ReadWaveHeader(header, ReferenceHeader(WaveLayout::OneColumn), units);
    c.unit = units[0];
    c.version = HeaderVersion(header);
    for (std::size_t off = 12; off + 12 <= b.size(); off += 12) {
        TimeField t;
        std::copy(b.begin() + static_cast<std::ptrdiff_t>(off),
                  b.begin() + static_cast<std::ptrdiff_t>(off + 6), t.bytes.begin());
        c.t.push_back(TimeFieldToSeconds(t));
        c.y.push_back(Real6::Decode(b.data() + off + 6));
    }
    return c;
}

ResultTable ReadResult(const std::string& path, WaveLayout layout) {
    const Bytes b = ReadFile(path);
    return ParseResultFile(b.data(), b.size(), layout);
}

}  // namespace ktx::test
