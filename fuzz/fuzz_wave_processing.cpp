// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as the waveform file a view compresses or cuts: both compressions and the
// range copy, and the compressed file read back as the view would.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "config/notifier.h"
#include "config/progress.h"
#include "view/wave_processing.h"
#include "waveform/waveform_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path dir = [] {
        const auto d = std::filesystem::temp_directory_path() / "ktx-fuzz-processing";
        std::filesystem::create_directories(d);
        return d;
    }();
    const std::string source = (dir / "in.ktx").string();
    const std::string target = (dir / "out.tmp").string();
    if (std::FILE* f = std::fopen(source.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    ktx::SilentNotifier n;
    const auto anyColumn = [](const ktx::UnitStrings&) { return std::optional<int>(1); };
    if (ktx::SampleCompress(source, target, ktx::NoProgress(), n) > 0) {
        ktx::LoadWaveform(target, false, anyColumn, n);
    }
    if (ktx::PeakCompress(source, target, ktx::NoProgress(), n) > 0) {
        ktx::LoadWaveform(target, false, anyColumn, n);
    }
    const std::int64_t first = size > 0 ? data[0] : 0;
    ktx::RangeCopy(source, first, 1 + (size > 1 ? data[1] : 0), target, ktx::NoProgress(), n);
    return 0;
}
