// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes as a spectrum file to the FFT view's reader, its distortion figures and
// its table.
#include <cstdint>
#include <cstdlib>

#include "analysis/result_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ktx::ResultTable t = ktx::ParseResultFile(data, size, ktx::WaveLayout::Spectrum);
    if (t.fault != ktx::ResultFault::None || t.rows.empty()) {
        return 0;
    }
    const ktx::Distortion d = ktx::ComputeDistortion(t);
    // No NaN or infinity may reach the screen.
    if (d.kPercent != d.kPercent || (d.thd && *d.thd != *d.thd)) {
        std::abort();
    }
    ktx::DistortionText(t.rows[0][1], t.units[1], d);
    ktx::SpectrumTableLines(t);
    return 0;
}
