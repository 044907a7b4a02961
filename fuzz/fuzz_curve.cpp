// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes as a raw instrument curve to all three converters.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/curve_converter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / "ktx-fuzz-curve";
        std::filesystem::create_directories(d);
        return d;
    }();
    const std::string raw = (dir / "raw").string();
    const std::string out = (dir / "out.ktx").string();
    if (std::FILE* f = std::fopen(raw.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    ktx::CurvePreamble p;
    p.XINCR = ktx::Real6::FromDouble(1e-6);
    p.YMULT[0] = ktx::Real6::FromDouble(0.01);
    ktx::SilentNotifier n;
    const std::uint8_t flags = size > 0 ? data[size - 1] : 0;
    ktx::ConvertBinaryCurve(raw, out, p, flags, n, ktx::NoProgress());
    ktx::ConvertAsciiCurve(raw, out, p, n, ktx::NoProgress());
    ktx::ConvertRawCurve(raw, out, n, ktx::NoProgress());
    return 0;
}
