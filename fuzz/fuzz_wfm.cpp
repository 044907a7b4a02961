// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to every ".wfm" reader, whatever the variant the bytes claim, to the
// opener that recognises a file by its content, and to the binary block writers that turn an
// ASCII curve into an instrument block.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/curve_writers.h"
#include "waveform/waveform_import.h"
#include "waveform/wfm_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / "ktx-fuzz-wfm";
        std::filesystem::create_directories(d);
        return d;
    }();
    const std::string source = (dir / "in.wfm").string();
    const std::string target = (dir / "out.ktx").string();
    if (std::FILE* f = std::fopen(source.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    ktx::SilentNotifier n;
    ktx::WfmVariant(source);
    ktx::ReadWfmAscii(source, target, n, ktx::NoProgress());
    ktx::ReadWfmTds5000(source, target, n, ktx::NoProgress());
    ktx::ReadWfmTds5000(source, target, n, ktx::NoProgress(), 1);  // a FastFrame's second frame
    ktx::ReadWfmLlwfm(source, target, n, ktx::NoProgress());
    ktx::ReadWfmMagic(source, target, n, ktx::NoProgress());
    ktx::ImportWaveformFile(source, target, n, ktx::NoProgress());
    ktx::CurveToBlock1(source, target, n);
    ktx::CurveToBlock2(source, target, n);
    return 0;
}
