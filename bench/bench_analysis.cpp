// SPDX-License-Identifier: GPL-3.0-or-later
// Harmonic analysis and waveform math against what they cannot avoid, timed alternately in the
// same run: reading the source's bytes once (and an FFTW transform of the same samples for the
// harmonics), and writing the result's bytes once. The counter "ratio" is the function's time
// over that reference; "ratio_min" compares the fastest runs and "cpu_ratio" the processor time
// of all threads, which say more than "ratio" on a machine other work is using.
//   harmonics of a 10^6-point file, K = 1000, Hanning     bound 1.5
//   each one- and two-channel function, 10^7 points        bound 2 (2.5 for the distribution)
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "analysis/channel_math.h"
#include "analysis/fft_computation.h"
#include "analysis/two_channel_math.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/block_file.h"
#include "waveform/real6.h"
#include "waveform/time_field.h"
#include "waveform/wave_file.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Dir() {
    static const std::string dir = [] {
        const fs::path d = fs::temp_directory_path() / "kurvitex_bench_analysis";
        fs::create_directories(d);
        return d.string();
    }();
    return dir;
}

// A one-column file of `points` samples of a few harmonics, made once per run.
std::string Source(const char* name, std::int64_t points, double phase) {
    const std::string path = Dir() + "/" + name;
    if (fs::exists(path) && static_cast<std::int64_t>(fs::file_size(path)) == 12 * (points + 1)) {
        return path;
    }
    ktx::BlockWriter out(path);
    const auto h =
        ktx::MakeHeader1(ktx::ReferenceHeader(ktx::WaveLayout::OneColumn), {"V", "#", "#", "#"});
    out.Write(h.data(), h.size());
    for (std::int64_t i = 0; i < points; ++i) {
        const double p =
            2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(points);
        const ktx::TimeField t = ktx::SecondsToTimeField(static_cast<double>(i) * 1e-7);
        const ktx::Real6 y = ktx::Real6::FromDouble(std::sin(p + phase) + 0.1 * std::sin(3 * p) +
                                                    0.01 * static_cast<double>(i % 17));
        out.Write(t.bytes.data(), 6);
        out.Write(y.bytes.data(), 6);
    }
    out.Close();
    return path;
}

// Reading every byte of `path` once, in 1 MB blocks; `each` sees every block.
std::size_t ReadBytes(
    const std::string& path,
    const std::function<void(const std::uint8_t*, std::size_t, std::size_t)>& each = {}) {
    static std::vector<std::uint8_t> block(1 << 20);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::setvbuf(f, nullptr, _IONBF, 0);
    std::size_t total = 0;
    while (const std::size_t got = std::fread(block.data(), 1, block.size(), f)) {
        if (each) {
            each(block.data(), got, total);
        }
        total += got;
    }
    std::fclose(f);
    return total;
}

// Writing `size` bytes once, the way a result is written: into a new file beside the target,
// renamed onto the target, which replaces (and frees) the previous run's file. Deleting the new
// file at once instead would spare the reference the cost of keeping its pages.
void WriteBytes(const std::string& path, std::size_t size) {
    static std::vector<std::uint8_t> block(1 << 20, 0x5A);
    const std::string temp = path + ".part";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    std::setvbuf(f, nullptr, _IONBF, 0);
    for (std::size_t done = 0; done < size; done += block.size()) {
        std::fwrite(block.data(), 1, std::min(block.size(), size - done), f);
    }
    std::fclose(f);
    fs::rename(temp, path);
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Times `function` and `reference` alternately. Counters: "ratio", the function's total time
// over the reference's; "ratio_min", the fastest run of each (the machine is shared: a run that
// other work slowed tells little); "cpu_ratio", the processor time (all threads) of each.
void Compare(benchmark::State& state, const std::function<void()>& function,
             const std::function<void()>& reference) {
    double functionSeconds = 0;
    double referenceSeconds = 0;
    double functionMin = 1e300;
    double referenceMin = 1e300;
    double functionCpu = 0;
    double referenceCpu = 0;
    for (auto _ : state) {
        const double c0 = CpuSeconds();
        auto t0 = Clock::now();
        reference();
        auto t1 = Clock::now();
        const double c1 = CpuSeconds();
        function();
        auto t2 = Clock::now();
        const double c2 = CpuSeconds();
        const double r = std::chrono::duration<double>(t1 - t0).count();
        const double f = std::chrono::duration<double>(t2 - t1).count();
        referenceSeconds += r;
        functionSeconds += f;
        referenceMin = std::min(referenceMin, r);
        functionMin = std::min(functionMin, f);
        referenceCpu += c1 - c0;
        functionCpu += c2 - c1;
        state.SetIterationTime(f);
    }
    state.counters["ratio"] = functionSeconds / referenceSeconds;
    state.counters["ratio_min"] = functionMin / referenceMin;
    state.counters["cpu_ratio"] = functionCpu / referenceCpu;
    state.counters["reference_ms"] =
        1e3 * referenceSeconds / static_cast<double>(state.iterations());
}

void BM_Harmonics(benchmark::State& state) {
    const std::int64_t n = 1'000'000;
    const std::string src = Source("harmonics.ktx", n, 0.0);
    ktx::SilentNotifier silent;
    ktx::FftRequest r;
    r.source = src;
    r.layout = *ktx::DetectSource(src);
    r.period = ktx::ValidatePeriod(0, n);
    r.harmonics = 1000;
    r.window = ktx::FftWindow::Hanning;
    r.target = Dir() + "/out.fft";
    Compare(
        state, [&] { benchmark::DoNotOptimize(ktx::RunFft(r, silent, ktx::NoProgress()).ok); },
        [&] {
            double* data = static_cast<double*>(fftw_malloc(sizeof(double) * 2 * (n / 2 + 1)));
            // One number per sample from the bytes read, so the transform has real input.
            ReadBytes(src, [data, n](const std::uint8_t* b, std::size_t size, std::size_t at) {
                // Byte 6 of every record after the header.
                std::size_t pos = std::max<std::size_t>(18, at + (18 + 12 - at % 12) % 12);
                for (; pos < at + size; pos += 12) {
                    if (pos / 12 - 1 < static_cast<std::size_t>(n)) {
                        data[pos / 12 - 1] = b[pos - at];
                    }
                }
            });
            const fftw_plan plan = fftw_plan_dft_r2c_1d(
                static_cast<int>(n), data, reinterpret_cast<fftw_complex*>(data), FFTW_ESTIMATE);
            fftw_execute(plan);
            fftw_destroy_plan(plan);
            benchmark::DoNotOptimize(data[2]);
            fftw_free(data);
        });
}
BENCHMARK(BM_Harmonics)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

constexpr std::int64_t kMathPoints = 10'000'000;

void BM_Math(benchmark::State& state) {
    const auto function = static_cast<ktx::MathFunction>(state.range(0));
    const std::string src = Source("math.ktx", kMathPoints, 0.0);
    ktx::SilentNotifier silent;
    ktx::MathRequest r;
    r.source = src;
    r.layout = *ktx::DetectSource(src);
    r.period = ktx::ValidatePeriod(0, kMathPoints);
    r.function = function;
    r.smoothing = 21;
    r.target = Dir() + (function == ktx::MathFunction::Distribution ? "/out.mth" : "/out.ktx");
    // The result's size: header and records (N - 1 differences or sums, N - F + 1 averages).
    std::int64_t records = kMathPoints;
    switch (function) {
        case ktx::MathFunction::Differentiate:
        case ktx::MathFunction::Integrate:
            records = kMathPoints - 1;
            break;
        case ktx::MathFunction::Smooth:
            records = kMathPoints - r.smoothing + 1;
            break;
        case ktx::MathFunction::Distribution:
        case ktx::MathFunction::Invert:
            break;
    }
    const std::size_t resultBytes = function == ktx::MathFunction::Distribution
                                        ? 257 * 30
                                        : static_cast<std::size_t>(12 * (records + 1));
    Compare(
        state, [&] { benchmark::DoNotOptimize(ktx::RunMath(r, silent, ktx::NoProgress()).ok); },
        [&] {
            benchmark::DoNotOptimize(ReadBytes(src));
            WriteBytes(Dir() + (function == ktx::MathFunction::Distribution ? "/reference.mth"
                                                                            : "/reference.ktx"),
                       resultBytes);
        });
    state.SetLabel(function == ktx::MathFunction::Distribution ? "bound 2.5" : "bound 2");
}
BENCHMARK(BM_Math)
    ->ArgName("function")
    ->DenseRange(0, 4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// The distribution beyond the memory budget: both passes read the file, so the bound of the
// distribution (which keeps its values) is not this row's; it shows what the second read costs.
void BM_DistributionStreamed(benchmark::State& state) {
    const std::string src = Source("math.ktx", kMathPoints, 0.0);
    ktx::SilentNotifier silent;
    ktx::MathRequest r;
    r.source = src;
    r.layout = *ktx::DetectSource(src);
    r.period = ktx::ValidatePeriod(0, kMathPoints);
    r.function = ktx::MathFunction::Distribution;
    r.target = Dir() + "/out.mth";
    r.memoryBudget = 0;
    Compare(
        state, [&] { benchmark::DoNotOptimize(ktx::RunMath(r, silent, ktx::NoProgress()).ok); },
        [&] {
            benchmark::DoNotOptimize(ReadBytes(src));
            WriteBytes(Dir() + "/reference.mth", 257 * 30);
        });
    state.SetLabel("reads twice");
}
BENCHMARK(BM_DistributionStreamed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Math2(benchmark::State& state) {
    const std::string s1 = Source("math.ktx", kMathPoints, 0.0);
    const std::string s2 = Source("math2.ktx", kMathPoints, 1.0);
    ktx::SilentNotifier silent;
    ktx::Math2Request r;
    r.source1 = {s1, *ktx::DetectSource(s1), 0};
    r.source2 = {s2, *ktx::DetectSource(s2), 0};
    r.function = static_cast<ktx::Math2Function>(state.range(0));
    r.target = Dir() + "/out2.ktx";
    Compare(
        state, [&] { benchmark::DoNotOptimize(ktx::RunMath2(r, silent, ktx::NoProgress()).ok); },
        [&] {
            benchmark::DoNotOptimize(ReadBytes(s1));
            benchmark::DoNotOptimize(ReadBytes(s2));
            WriteBytes(Dir() + "/reference2.ktx", static_cast<std::size_t>(12 * (kMathPoints + 1)));
        });
    state.SetLabel("bound 2");
}
BENCHMARK(BM_Math2)
    ->ArgName("function")
    ->DenseRange(0, 3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
