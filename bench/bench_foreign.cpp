// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the foreign formats: importing a 10 M-point two-byte ISF file against reading
// its bytes once, and exporting a 1 M-point waveform file to column text (two numbers a line,
// each in the 23-character scientific form).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/curve_writers.h"
#include "waveform/isf_reader.h"
#include "waveform/waveform_import.h"
#include "waveform/waveform_record.h"

namespace {

constexpr std::int64_t kIsfPoints = 10'000'000;
constexpr std::int64_t kExportPoints = 1'000'000;

void WriteAll(const std::string& path, const std::vector<unsigned char>& data) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f)) {
        std::abort();
    }
}

std::vector<unsigned char> Isf(std::int64_t points) {
    const std::string count = std::to_string(points * 2);
    const std::string head =
        ":WFMPRE:BYT_NR 2;BIT_NR 16;ENCDG BIN;BN_FMT RI;BYT_OR MSB;NR_PT " +
        std::to_string(points) +
        ";WFID \"Ch1, DC coupling\";PT_FMT Y;XINCR 4.0E-9;XZERO -20.0E-3;PT_OFF 0;YMULT "
        "156.25E-6;YOFF 0.0E+0;YZERO 0.0E+0;:CURVE #" +
        std::to_string(count.size()) + count;
    std::vector<unsigned char> data(head.begin(), head.end());
    data.reserve(data.size() + static_cast<std::size_t>(points) * 2 + 1);
    std::uint32_t noise = 12345;
    for (std::int64_t i = 0; i < points; ++i) {
        noise = noise * 1103515245u + 12345u;
        const int v = static_cast<int>(20000 * std::sin(static_cast<double>(i) * 0.001)) +
                      static_cast<int>((noise >> 16) % 200) - 100;
        data.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
        data.push_back(static_cast<unsigned char>(v & 0xFF));
    }
    data.push_back('\n');
    return data;
}

struct Files {
    std::filesystem::path dir;
    std::string isf;
    std::string ktx;
    std::string small;
    std::string smallKtx;
    std::string text;

    Files() {
        dir = std::filesystem::temp_directory_path() / "ktx-bench-foreign";
        std::filesystem::create_directories(dir);
        isf = (dir / "big.isf").string();
        ktx = (dir / "ktx_tmp.tmp").string();
        small = (dir / "small.isf").string();
        smallKtx = (dir / "small.ktx").string();
        text = (dir / "out.txt").string();
        WriteAll(isf, Isf(kIsfPoints));
        WriteAll(small, Isf(kExportPoints));
        ktx::SilentNotifier n;
        if (ImportWaveformFile(small, smallKtx, n, ktx::NoProgress()).kind !=
            ktx::ImportKind::Converted) {
            std::abort();
        }
    }
    ~Files() { std::filesystem::remove_all(dir); }
};

Files& TheFiles() {
    static Files files;
    return files;
}

// As BM_ConvertBinaryCurve: CPU time, since the wall time of a disk-backed folder includes the
// write-back of the previous iteration's 120 MB target.
void BM_ImportIsf10M(benchmark::State& state) {
    TheFiles();
    ktx::SilentNotifier n;
    for (auto _ : state) {
        const auto r = ktx::ReadIsf(TheFiles().isf, TheFiles().ktx, n, ktx::NoProgress());
        if (!r.ok || r.points != kIsfPoints) {
            std::abort();
        }
    }
    state.SetItemsProcessed(state.iterations() * kIsfPoints);
}
BENCHMARK(BM_ImportIsf10M)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Reference: the ISF file's bytes read once in 1 MiB blocks.
void BM_ReadIsfBytesOnce(benchmark::State& state) {
    TheFiles();
    std::vector<char> buf(1 << 20);
    for (auto _ : state) {
        std::FILE* f = std::fopen(TheFiles().isf.c_str(), "rb");
        std::size_t total = 0;
        for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), f)) > 0;) {
            total += n;
        }
        std::fclose(f);
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * kIsfPoints);
}
BENCHMARK(BM_ReadIsfBytesOnce)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// Items are numbers written (x and y of each point).
void BM_ExportText1M(benchmark::State& state) {
    ktx::SilentNotifier n;
    const auto rec = ktx::LoadWaveform(TheFiles().smallKtx, false, {}, n);
    if (!rec || rec->pointCount != kExportPoints) {
        std::abort();
    }
    const ktx::TextSeparators seps{';', '\n', ','};
    for (auto _ : state) {
        if (!ktx::WriteRecordColumns(TheFiles().text, *rec, seps, n)) {
            std::abort();
        }
    }
    state.SetItemsProcessed(state.iterations() * kExportPoints * 2);
}
BENCHMARK(BM_ExportText1M)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace
