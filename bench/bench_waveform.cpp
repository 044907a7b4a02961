// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the waveform file core on a 10 M-point two-byte curve: conversion of the raw
// curve into a .ktx file, loading that file into a waveform record, and, as the reference of
// the same run, reading the file's bytes once. Also a small file through the block reader against
// the C library.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/block_file.h"
#include "waveform/curve_converter.h"
#include "waveform/waveform_record.h"

namespace {

constexpr std::int64_t kPoints = 10'000'000;

struct Files {
    std::filesystem::path dir;
    std::string raw;
    std::string ktx;

    Files() {
        dir = std::filesystem::temp_directory_path() / "ktx-bench";
        std::filesystem::create_directories(dir);
        raw = (dir / "ktx_tmp.tmp").string();
        ktx = (dir / "curve.ktx").string();
        // A noisy sine of 16-bit levels, MSB first, as "DATA:ENC RIB; DATA:WID 2" delivers it.
        const std::string count = std::to_string(kPoints * 2);
        const std::string head = ":CURVE #" + std::to_string(count.size()) + count;
        std::vector<unsigned char> data(head.begin(), head.end());
        data.reserve(data.size() + kPoints * 2 + 1);
        std::uint32_t noise = 12345;
        for (std::int64_t i = 0; i < kPoints; ++i) {
            noise = noise * 1103515245u + 12345u;
            const int v = static_cast<int>(20000 * std::sin(static_cast<double>(i) * 0.001)) +
                          static_cast<int>((noise >> 16) % 200) - 100;
            data.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
            data.push_back(static_cast<unsigned char>(v & 0xFF));
        }
        data.push_back('\n');
        std::FILE* f = std::fopen(raw.c_str(), "wb");
        if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f)) {
            std::abort();
        }
    }
    ~Files() { std::filesystem::remove_all(dir); }
};

Files& TheFiles() {
    static Files files;
    return files;
}

ktx::CurvePreamble Preamble() {
    ktx::CurvePreamble p;
    p.XINCR = ktx::Real6::FromDouble(4e-9);
    p.PT_OFF = ktx::Real6::FromDouble(5e6);
    p.YOFF[0] = ktx::Real6::FromDouble(0);
    p.YMULT[0] = ktx::Real6::FromDouble(1.5625e-4);
    return p;
}

void ConvertOnce() {
    ktx::SilentNotifier n;
    const auto r = ktx::ConvertBinaryCurve(TheFiles().raw, TheFiles().ktx, Preamble(),
                                           ktx::kCurveFlagsRib2, n, ktx::NoProgress());
    if (!r.Ok()) {
        std::abort();
    }
}

// The target is rewritten every iteration, as the program rewrites its conversion file. Points
// per second are counted on CPU time: on a disk-backed folder the wall time also holds the
// kernel waiting for the previous iteration's 120 MB to be written back before it can truncate
// the file (run with TMPDIR=/dev/shm to see the wall time without the disk).
void BM_ConvertBinaryCurve(benchmark::State& state) {
    TheFiles();
    for (auto _ : state) {
        ConvertOnce();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_ConvertBinaryCurve)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LoadWaveform(benchmark::State& state) {
    ConvertOnce();
    ktx::SilentNotifier n;
    for (auto _ : state) {
        auto rec = ktx::LoadWaveform(TheFiles().ktx, false, {}, n);
        benchmark::DoNotOptimize(rec);
        if (!rec || rec->pointCount != kPoints) {
            std::abort();
        }
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_LoadWaveform)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// Reference: the file's bytes read once, in 1 MiB blocks, touching nothing.
void BM_ReadFileBytesOnce(benchmark::State& state) {
    ConvertOnce();
    std::vector<char> buf(1 << 20);
    for (auto _ : state) {
        std::FILE* f = std::fopen(TheFiles().ktx.c_str(), "rb");
        std::size_t total = 0;
        for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), f)) > 0;) {
            total += n;
        }
        std::fclose(f);
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_ReadFileBytesOnce)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// A small file (a set-up of 2 KB) through the block reader, against the same bytes read with
// the C library into a buffer of their size: the reader must not pay for a whole block.
const std::string& SmallFile() {
    static const std::string path = [] {
        const auto dir = std::filesystem::temp_directory_path() / "ktx-bench";
        std::filesystem::create_directories(dir);
        const std::string p = (dir / "small.set").string();
        std::FILE* f = std::fopen(p.c_str(), "wb");
        for (int i = 0; i < 100; ++i) {
            std::fputs(":CH1:SCALE 1.0E0;", f);
        }
        std::fclose(f);
        return p;
    }();
    return path;
}

void BM_ReadSmallFileBlockReader(benchmark::State& state) {
    for (auto _ : state) {
        ktx::BlockReader in(SmallFile());
        std::size_t total = 0;
        for (std::uint8_t b; in.ReadByte(b);) {
            total += b;
        }
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_ReadSmallFileBlockReader)->Unit(benchmark::kMicrosecond);

// Reference for the small file.
void BM_ReadSmallFileStdio(benchmark::State& state) {
    for (auto _ : state) {
        std::FILE* f = std::fopen(SmallFile().c_str(), "rb");
        char buf[4096];
        const std::size_t n = std::fread(buf, 1, sizeof buf, f);
        std::fclose(f);
        std::size_t total = 0;
        for (std::size_t i = 0; i < n; ++i) {
            total += static_cast<unsigned char>(buf[i]);
        }
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_ReadSmallFileStdio)->Unit(benchmark::kMicrosecond);

// What reading it cost with a cleared block of 1 MiB, as the reader did before.
void BM_ReadSmallFileClearedBlock(benchmark::State& state) {
    for (auto _ : state) {
        std::FILE* f = std::fopen(SmallFile().c_str(), "rb");
        std::vector<unsigned char> buf(ktx::BlockReader::kBlockSize);
        const std::size_t n = std::fread(buf.data(), 1, buf.size(), f);
        std::fclose(f);
        std::size_t total = 0;
        for (std::size_t i = 0; i < n; ++i) {
            total += buf[i];
        }
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_ReadSmallFileClearedBlock)->Unit(benchmark::kMicrosecond);

}  // namespace
