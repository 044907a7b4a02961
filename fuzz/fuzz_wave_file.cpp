// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes as a waveform file to the counter and the loader.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "config/notifier.h"
#include "waveform/waveform_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = [] {
        auto d = std::filesystem::temp_directory_path() / "ktx-fuzz-wave";
        std::filesystem::create_directories(d);
        return (d / "w.ktx").string();
    }();
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    ktx::CountWaveFile(path);
    ktx::SilentNotifier n;
    ktx::LoadWaveform(
        path, false, [](const ktx::UnitStrings&) { return std::optional<int>(1); }, n);
    return 0;
}
