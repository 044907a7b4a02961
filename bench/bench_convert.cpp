// SPDX-License-Identifier: GPL-3.0-or-later
// The batch converter against what it wraps, in the same run and in alternating turns (so a
// change of the machine's load treats both alike); "ratio" is the converter's time over the
// reference's (goal: at most 1.1 for both).
//  - 200 ISF files of 20 000 points into waveform files, against the same reader calls on the
//    same files in a bare loop;
//  - a 1 M-point waveform file to column text, against the text export of the same points
//    (WriteRecordColumns, the transfer's and `ktx export`'s writer, the points loaded first).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "config/notifier.h"
#include "config/progress.h"
#include "convert/batch_converter.h"
#include "waveform/curve_writers.h"
#include "waveform/isf_reader.h"
#include "waveform/waveform_import.h"
#include "waveform/waveform_record.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kIsfFiles = 200;
constexpr std::int64_t kIsfPoints = 20'000;
constexpr std::int64_t kTextPoints = 1'000'000;

std::vector<unsigned char> Isf(std::int64_t points, unsigned seed) {
    const std::string count = std::to_string(points * 2);
    const std::string head =
        ":WFMPRE:BYT_NR 2;BIT_NR 16;ENCDG BIN;BN_FMT RI;BYT_OR MSB;NR_PT " +
        std::to_string(points) +
        ";WFID \"Ch1, DC coupling\";PT_FMT Y;XINCR 4.0E-9;XZERO -20.0E-3;PT_OFF 0;YMULT "
        "156.25E-6;YOFF 0.0E+0;YZERO 0.0E+0;:CURVE #" +
        std::to_string(count.size()) + count;
    std::vector<unsigned char> data(head.begin(), head.end());
    std::uint32_t noise = seed;
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

void WriteAll(const std::string& path, const std::vector<unsigned char>& data) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f)) {
        std::abort();
    }
}

struct Files {
    fs::path dir;
    std::vector<std::string> isf;
    std::string ktx;

    Files() {
        dir = fs::temp_directory_path() / ("ktx-bench-convert-" + std::to_string(::getpid()));
        fs::create_directories(dir / "isf");
        for (int i = 0; i < kIsfFiles; ++i) {
            isf.push_back((dir / "isf" / ("f" + std::to_string(i) + ".isf")).string());
            WriteAll(isf.back(), Isf(kIsfPoints, static_cast<unsigned>(i + 1)));
        }
        const std::string big = (dir / "big.isf").string();
        WriteAll(big, Isf(kTextPoints, 7));
        ktx = (dir / "big.ktx").string();
        ktx::SilentNotifier n;
        if (ktx::ImportWaveformFile(big, ktx, n, ktx::NoProgress()).kind !=
            ktx::ImportKind::Converted) {
            std::abort();
        }
    }
    ~Files() { fs::remove_all(dir); }
};

Files& TheFiles() {
    static Files files;
    return files;
}

// The batch converter over the folder against ReadIsf on each file into the same targets.
void BM_Convert200IsfOverBareReader(benchmark::State& state) {
    Files& f = TheFiles();
    ktx::SilentNotifier n;
    std::chrono::duration<double> bare{0};
    std::chrono::duration<double> batch{0};
    bool bareFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto t0 = Clock::now();
            if ((turn == 0) == bareFirst) {
                for (const std::string& file : f.isf) {
                    const std::string target = ktx::TargetPath(file, ".ktx", "");
                    if (!ktx::ReadIsf(file, target, n, ktx::NoProgress()).ok) {
                        std::abort();
                    }
                }
                bare += Clock::now() - t0;
            } else {
                const ktx::ConvertSummary s = ktx::ConvertFiles(
                    ktx::MatchingFiles((f.dir / "isf").string(), ktx::ConvertSource::Isf),
                    ktx::ConvertSource::Isf, {}, n, ktx::NoProgress());
                if (s.written != kIsfFiles) {
                    std::abort();
                }
                batch += Clock::now() - t0;
            }
        }
        bareFirst = !bareFirst;
    }
    state.counters["bare_ms"] = 1000 * bare.count() / static_cast<double>(state.iterations());
    state.counters["batch_ms"] = 1000 * batch.count() / static_cast<double>(state.iterations());
    state.counters["ratio"] = batch.count() / bare.count();
}
BENCHMARK(BM_Convert200IsfOverBareReader)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(4.0)
    ->UseRealTime();

// A 1 M-point waveform file to ".txt" (read as it is written) against the text export of the
// loaded record: two 23-character numbers a line each.
void BM_ConvertKtxToTextOverExport(benchmark::State& state) {
    Files& f = TheFiles();
    ktx::SilentNotifier n;
    const auto rec = ktx::LoadWaveform(f.ktx, false, {}, n);
    if (!rec || rec->pointCount != kTextPoints) {
        std::abort();
    }
    const std::string exportTarget = (f.dir / "export.txt").string();
    const std::string convertDir = (f.dir / "converted").string();
    fs::create_directories(convertDir);
    ktx::ConvertOptions options;
    options.text = ktx::ConvertText::Txt;
    options.targetDir = convertDir;
    const ktx::TextSeparators seps{';', '\n', ','};
    std::chrono::duration<double> exported{0};
    std::chrono::duration<double> converted{0};
    bool exportFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto t0 = Clock::now();
            if ((turn == 0) == exportFirst) {
                if (!ktx::WriteRecordColumns(exportTarget, *rec, seps, n)) {
                    std::abort();
                }
                exported += Clock::now() - t0;
            } else {
                if (ktx::ConvertFile(f.ktx, ktx::ConvertSource::Ktx, options, n,
                                     ktx::NoProgress()) != ktx::ConvertOutcome::Written) {
                    std::abort();
                }
                converted += Clock::now() - t0;
            }
        }
        exportFirst = !exportFirst;
    }
    state.counters["export_ms"] = 1000 * exported.count() / static_cast<double>(state.iterations());
    state.counters["convert_ms"] =
        1000 * converted.count() / static_cast<double>(state.iterations());
    state.counters["ratio"] = converted.count() / exported.count();
}
BENCHMARK(BM_ConvertKtxToTextOverExport)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(4.0)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
