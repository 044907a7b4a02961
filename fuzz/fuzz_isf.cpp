// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the ISF reader (preamble parser, record walk and block decoder).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/isf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / "ktx-fuzz-isf";
        std::filesystem::create_directories(d);
        return d;
    }();
    const std::string source = (dir / "in.isf").string();
    const std::string target = (dir / "out.ktx").string();
    if (std::FILE* f = std::fopen(source.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    ktx::IsfPreamble p;
    ktx::ParseIsfPreamble(std::string_view(reinterpret_cast<const char*>(data), size), p);
    ktx::SilentNotifier n;
    ktx::ReadIsf(source, target, n, ktx::NoProgress());
    ktx::ReadIsf(source, target, n, ktx::NoProgress(), 1);  // the second record
    return 0;
}
