// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes as a math result file to the math view's reader and its readouts.
#include <cstdint>

#include "analysis/result_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ktx::ResultTable t = ktx::ParseResultFile(data, size, ktx::WaveLayout::Math);
    if (t.fault != ktx::ResultFault::None) {
        return 0;
    }
    const ktx::MathCurve c = ktx::MakeMathCurve(t);
    const auto count = static_cast<std::int32_t>(c.y.size());
    ktx::ComputeMathReadouts(c, 5, 100);
    ktx::ComputeMathReadouts(c, count, -3);
    return 0;
}
