// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the comma and tab text readers and to the ASCII curve parser.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/curve_writers.h"
#include "waveform/text_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / "ktx-fuzz-text";
        std::filesystem::create_directories(d);
        return d;
    }();
    const std::string source = (dir / "in.csv").string();
    const std::string target = (dir / "out.ktx").string();
    if (std::FILE* f = std::fopen(source.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    ktx::SilentNotifier n;
    ktx::ReadCsv(source, target, n, ktx::NoProgress());
    ktx::ReadTxt(source, target, n, ktx::NoProgress());
    ktx::ReadTabText(source, target, n, ktx::NoProgress());
    std::vector<std::int32_t> values;
    ktx::ParseCurve(source, values, 1000);
    return 0;
}
