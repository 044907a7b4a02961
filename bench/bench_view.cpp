// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a 10 M-point file for display (sample and peak compression) against reading its bytes
// once, what a view's own copy of such a file costs, and one full repaint of an 80 000-point
// view.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <filesystem>
#include <vector>

#include "config/notifier.h"
#include "config/progress.h"
#include "view/tktxview.h"
#include "view/view_file.h"
#include "view/view_test_files.h"
#include "view/wave_processing.h"
#include "waveform/block_file.h"

namespace {

const std::filesystem::path kDir = std::filesystem::temp_directory_path() / "kurvitex_bench_view";

std::string BenchFile(const char* name, std::int64_t points) {
    std::filesystem::create_directories(kDir);
    const std::string path = (kDir / name).string();
    std::error_code ec;
    const auto want = static_cast<std::uintmax_t>((points + 1) * 12);
    if (std::filesystem::file_size(path, ec) != want) {
        ktx::test::WriteSineFile(path, points, 1000.0, 1.0, 0.1, 1e-7);
    }
    return path;
}

double MaxRssMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

constexpr std::int64_t kLongPoints = 10'000'000;

void BM_ReadBytesOnce(benchmark::State& state) {
    const std::string file = BenchFile("long.ktx", kLongPoints);
    std::vector<std::uint8_t> buf(1 << 20);
    for (auto _ : state) {
        ktx::BlockReader in(file);
        std::size_t total = 0;
        while (const std::size_t n = in.Read(buf.data(), buf.size())) {
            total += n;
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>((kLongPoints + 1) * 12));
}
BENCHMARK(BM_ReadBytesOnce)->Unit(benchmark::kMillisecond);

void BM_OpenForDisplaySample(benchmark::State& state) {
    const std::string file = BenchFile("long.ktx", kLongPoints);
    ktx::SilentNotifier silent;
    for (auto _ : state) {
        auto setup = ktx::PlanDisplay(file, "x", false, (kDir / "ktx_tmp1.tmp").string(),
                                      ktx::NoProgress(), silent, {});
        benchmark::DoNotOptimize(setup);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>((kLongPoints + 1) * 12));
    state.counters["maxrss_MB"] = MaxRssMb();
}
BENCHMARK(BM_OpenForDisplaySample)->Unit(benchmark::kMillisecond);

void BM_OpenForDisplayPeak(benchmark::State& state) {
    const std::string file = BenchFile("long.ktx", kLongPoints);
    ktx::SilentNotifier silent;
    for (auto _ : state) {
        auto f =
            ktx::PeakCompress(file, (kDir / "ktx_tmp1.tmp").string(), ktx::NoProgress(), silent);
        benchmark::DoNotOptimize(f);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>((kLongPoints + 1) * 12));
    state.counters["maxrss_MB"] = MaxRssMb();
}
BENCHMARK(BM_OpenForDisplayPeak)->Unit(benchmark::kMillisecond);

// A compressed view of an import takes the 120 MB scratch file it was compressed from: a copy.
void BM_TakeScratchFile10M(benchmark::State& state) {
    const std::string file = BenchFile("long.ktx", kLongPoints);
    ktx::ViewFileStore store(kDir.string(), {file});
    for (auto _ : state) {
        ktx::FileError error;
        auto taken = store.Take(file, error);
        if (!taken) {
            state.SkipWithError("take failed");
            return;
        }
        benchmark::DoNotOptimize(taken);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>((kLongPoints + 1) * 12));
}
BENCHMARK(BM_TakeScratchFile10M)->Unit(benchmark::kMillisecond);

// The same file opened by the user: a hard link.
void BM_TakeUserFile10M(benchmark::State& state) {
    const std::string file = BenchFile("long.ktx", kLongPoints);
    ktx::ViewFileStore store(kDir.string(), {});
    for (auto _ : state) {
        ktx::FileError error;
        auto taken = store.Take(file, error);
        benchmark::DoNotOptimize(taken);
    }
}
BENCHMARK(BM_TakeUserFile10M)->Unit(benchmark::kMicrosecond);

class NullHost final : public ktx::WaveViewHost {
  public:
    bool RequestRange(const ktx::RangeRequest&) override { return false; }
    void RequestRecompression(const ktx::RecompressionRequest&) override {}
    ktx::ProgressSink& Progress() override { return ktx::NoProgress(); }
};

// 80 000 records: the largest file a view shows uncompressed.
void BM_Repaint80000Points(benchmark::State& state) {
    const std::string file = BenchFile("display.ktx", 79'999);
    NullHost host;
    ktx::SilentNotifier silent;
    ktx::Tktxview view(host, silent, {(kDir / "c.tmp").string(), {"", ""}});
    view.setAttribute(Qt::WA_DeleteOnClose, false);
    view.resize(1000, 600);
    view.show();
    if (!view.Open("bench", file, false)) {
        state.SkipWithError("open failed");
        return;
    }
    QImage image(view.PlotWidget()->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&image);
        view.PaintPlot(p, image.rect(), false);
    }
}
BENCHMARK(BM_Repaint80000Points)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
