// SPDX-License-Identifier: GPL-3.0-or-later
// The FFT computation from waveform file to spectrum file: analytic spectra, distortion figures,
// the period, the limits, and what must never reach a file.
#include "analysis/fft_computation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "analysis/analysis_test_files.h"
#include "analysis/result_files.h"
#include "test_files.h"
#include "view/view_test_files.h"

namespace ktx {
namespace {

constexpr double kPi = std::numbers::pi;

class FftComputationTest : public ::testing::Test {
  protected:
    // One period of `value` over n samples, 1 ms apart.
    std::string Source(std::int64_t n, const std::function<double(std::int64_t)>& value) {
        const std::string path = m_dir.Path("src.ktx");
        EXPECT_TRUE(test::WriteOneColumnFile(
            path, n, [](std::int64_t i) { return static_cast<double>(i) * 1e-3; }, value));
        return path;
    }
    FftOutcome Run(const std::string& source, int harmonics,
                   FftWindow window = FftWindow::Rectangular, double phaseLimit = -30,
                   std::uint64_t budget = kDefaultFftMemoryBudget, std::int64_t start = 0,
                   std::optional<std::int64_t> stop = {}) {
        const auto layout = DetectSource(source);
        EXPECT_TRUE(layout.has_value());
        FftRequest r;
        r.source = source;
        r.layout = *layout;
        r.period = ValidatePeriod(start, stop.value_or(layout->DataRecords()));
        r.harmonics = ClampHarmonics(harmonics, r.period.n);
        r.window = window;
        r.phaseLimitDb = phaseLimit;
        r.target = m_dir.Path("out.fft");
        r.protectedFiles = {source};
        r.memoryBudget = budget;
        return RunFft(r, m_notifier, NoProgress());
    }
    ResultTable Written() { return test::ReadResult(m_dir.Path("out.fft"), WaveLayout::Spectrum); }

    test::TempDir m_dir;
    test::RecordingNotifier m_notifier;
};

TEST_F(FftComputationTest, SquareWaveHasOddHarmonicsWithTheirPhases) {
    // +1 for the first half of the period, -1 for the second. Its discrete sums are C(k) = 2 and
    // S(k) = 2 cot(pi k / N) for odd k and 0 for even k: amplitude 2 / (H sin(pi k / N)),
    // phase 90 - 180 k / N degrees.
    const std::int64_t n = 1000;
    const std::string src = Source(n, [n](std::int64_t i) { return i < n / 2 ? 1.0 : -1.0; });
    for (const std::uint64_t budget : {kDefaultFftMemoryBudget, std::uint64_t{0}}) {
        SCOPED_TRACE(budget == 0 ? "streaming" : "FFTW");
        const FftOutcome o = Run(src, 32, FftWindow::Rectangular, -100, budget);
        ASSERT_TRUE(o.ok);
        EXPECT_EQ(o.streaming, budget == 0);
        const ResultTable t = Written();
        ASSERT_EQ(t.rows.size(), 33u);  // mean + 32 harmonics: K + 2 records with the header
        EXPECT_EQ(t.units, (UnitStrings{"Hz", "V", "db", "grd"}));
        EXPECT_NEAR(t.rows[0][1], 0.0, 1e-12);
        const double a1 = 2.0 / (n / 2 * std::sin(kPi / n));
        for (int k = 1; k <= 32; ++k) {
            const auto& row = t.rows[static_cast<std::size_t>(k)];
            SCOPED_TRACE(k);
            if (k % 2 == 1) {
                const double a = 2.0 / (n / 2 * std::sin(kPi * k / n));
                EXPECT_NEAR(row[1], a, 1e-9);
                EXPECT_NEAR(row[3], 90.0 - 180.0 * k / n, 1e-7);
                EXPECT_NEAR(row[2], 20 * 0.43429 * std::log(a / a1), 1e-9);
            } else {
                // Nothing there: amplitude 0, the -100 dB floor, no phase.
                EXPECT_EQ(row[1], 0.0);
                EXPECT_EQ(row[2], -100.0);
                EXPECT_EQ(row[3], 0.0);
            }
        }
        // For large N the amplitudes approach 4 / (pi k).
        EXPECT_NEAR(t.rows[1][1], 4.0 / kPi, 1e-5);
    }
}

struct ToneCase {
    const char* name;
    std::function<double(double)> signal;  // of the phase 2 pi i / N
    double amplitude1, phase1;             // harmonic 1
    double k3Amplitude;                    // harmonic 3
    double kPercent;
    std::optional<double> thd;
};

class FftToneTest : public FftComputationTest, public ::testing::WithParamInterface<ToneCase> {};

TEST_P(FftToneTest, AnalyticSpectrumAndDistortion) {
    const ToneCase& c = GetParam();
    const std::int64_t n = 2000;
    const std::string src = Source(n, [&](std::int64_t i) { return c.signal(2 * kPi * i / n); });
    ASSERT_TRUE(Run(src, 10).ok);
    const ResultTable t = Written();
    ASSERT_EQ(t.rows.size(), 11u);
    EXPECT_NEAR(t.rows[1][1], c.amplitude1, 1e-9);
    if (c.amplitude1 > 0) {
        EXPECT_EQ(t.rows[1][2], 0.0);
        EXPECT_NEAR(t.rows[1][3], c.phase1, 1e-7);
    }
    EXPECT_NEAR(t.rows[3][1], c.k3Amplitude, 1e-9);
    const Distortion d = ComputeDistortion(t);
    EXPECT_NEAR(d.kPercent, c.kPercent, 1e-5);
    ASSERT_EQ(d.thd.has_value(), c.thd.has_value());
    if (c.thd) {
        EXPECT_NEAR(*d.thd, *c.thd, 1e-9);
    }
    for (const auto& row : t.rows) {
        for (double v : row) {
            EXPECT_TRUE(std::isfinite(v));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tones, FftToneTest,
    ::testing::Values(
        ToneCase{"Cosine", [](double p) { return 2 * std::cos(p); }, 2.0, 0.0, 0.0, 0.0, 0.0},
        ToneCase{"Sine", [](double p) { return std::sin(p); }, 1.0, 90.0, 0.0, 0.0, 0.0},
        // 10 % third harmonic: THD 0.1, K = 100 sqrt(0.01 / 1.01) = 9.95037 %.
        ToneCase{"CosinePlusTenPercentThird",
                 [](double p) { return std::cos(p) + 0.1 * std::cos(3 * p); }, 1.0, 0.0, 0.1,
                 100 * std::sqrt(0.01 / 1.01), 0.1},
        // Silence: K 0, THD without a value, every level 0, no NaN anywhere.
        ToneCase{"Silence", [](double) { return 0.0; }, 0.0, 0.0, 0.0, 0.0, std::nullopt}),
    [](const ::testing::TestParamInfo<ToneCase>& info) { return std::string(info.param.name); });

TEST(FftSpectrum, SilentFundamentalOrHarmonicGivesNoNaN) {
    // Sums of exactly 0 for the fundamental: level 0 throughout instead of ln(A / 0); a
    // harmonic of 0 gets the floor instead of ln(0).
    HarmonicSums sums;
    sums.mean = 4.0;
    sums.c = {0, 0, 0, 5, 0};
    sums.s = {0, 0, 0, 0, -5};
    Spectrum s = MakeSpectrum(sums, 10, 50.0, -30);
    ASSERT_EQ(s.lines.size(), 4u);
    EXPECT_EQ(s.mean, 0.4);
    for (const SpectrumLine& l : s.lines) {
        EXPECT_EQ(l.level, 0.0);
        EXPECT_TRUE(std::isfinite(l.phase));
    }
    EXPECT_EQ(s.lines[2].amplitude, 1.0);
    EXPECT_EQ(s.lines[2].frequency, 150.0);
    EXPECT_EQ(s.lines[3].phase, -90.0);
    // With a fundamental: the silent harmonics sit on the floor.
    sums.c[1] = 5;
    s = MakeSpectrum(sums, 10, 50.0, -30);
    EXPECT_EQ(s.lines[1].amplitude, 0.0);
    EXPECT_EQ(s.lines[1].level, -100.0);
    EXPECT_EQ(s.lines[1].phase, 0.0);
    // All silent.
    const Spectrum zero = MakeSpectrum(HarmonicSums{0.0, {0, 0}, {0, 0}}, 4, 1.0, -30);
    EXPECT_EQ(zero.lines[0].level, 0.0);
    EXPECT_EQ(zero.lines[0].amplitude, 0.0);
}

TEST_F(FftComputationTest, PhaseSuppressedBelowLimitAndFloorAt100dB) {
    // Harmonic 2 at -60 dB, harmonic 3 at -120 dB.
    const std::int64_t n = 1000;
    const std::string src = Source(n, [n](std::int64_t i) {
        const double p = 2 * kPi * i / n;
        return std::cos(p) + 1e-3 * std::sin(2 * p) + 1e-6 * std::sin(3 * p);
    });
    ASSERT_TRUE(Run(src, 10, FftWindow::Rectangular, -30).ok);
    ResultTable t = Written();
    EXPECT_NEAR(t.rows[2][2], 20 * 0.43429 * std::log(1e-3), 1e-6);
    EXPECT_EQ(t.rows[2][3], 0.0);  // -60 dB < -30 dB: phase suppressed
    EXPECT_EQ(t.rows[3][1], 0.0);  // below -100 dB: floored
    EXPECT_EQ(t.rows[3][2], -100.0);
    ASSERT_TRUE(Run(src, 10, FftWindow::Rectangular, -100).ok);
    t = Written();
    EXPECT_NEAR(t.rows[2][3], 90.0, 1e-6);  // phase kept at a limit of -100 dB
}

TEST_F(FftComputationTest, PeriodFrequencyFromNMinusOneIntervals) {
    // 1000 samples 1 ms apart span 0.999 s.
    const std::string src = Source(1000, [](std::int64_t i) { return std::sin(0.1 * i); });
    FftOutcome o = Run(src, 10);
    ASSERT_TRUE(o.ok);
    EXPECT_NEAR(o.periodFrequency, 1.0 / 0.999, 1e-6);
    EXPECT_NEAR(Written().rows[5][0], 5.0 / 0.999, 1e-5);
    // Equal time stamps: the frequencies are the harmonic numbers.
    const std::string flat = m_dir.Path("flat.ktx");
    ASSERT_TRUE(test::WriteOneColumnFile(
        flat, 100, [](std::int64_t) { return 0.0; }, [](std::int64_t i) { return i % 7; }));
    o = Run(flat, 10);
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.periodFrequency, 1.0);
    EXPECT_EQ(Written().rows[7][0], 7.0);
}

TEST_F(FftComputationTest, PeriodLimitsAndInvalidPeriods) {
    EXPECT_FALSE(ValidatePeriod(5, 6).valid);  // adjacent cursors: N = 0 after rounding
    EXPECT_FALSE(ValidatePeriod(5, 5).valid);
    EXPECT_TRUE(ValidatePeriod(9, 5).valid);  // swapped
    EXPECT_EQ(ValidatePeriod(9, 5).n, 4);
    EXPECT_EQ(ValidatePeriod(0, 1001).n, 1000);  // odd counts lose one sample
    EXPECT_EQ(HarmonicLimit(150), 75);
    EXPECT_EQ(HarmonicLimit(2000), 1000);
    EXPECT_EQ(ClampHarmonics(32, 150), 32);
    EXPECT_EQ(ClampHarmonics(1000, 150), 75);
    EXPECT_EQ(ClampHarmonics(32, 12), 10);  // the spin edit's minimum exceeds N / 2

    // A one-record file is no waveform file the dialog recognises (start = stop = 0); adjacent
    // cursors in a longer one: nothing is computed, nothing written, nothing said.
    EXPECT_FALSE(DetectSource(Source(1, [](std::int64_t) { return 1.0; })));
    const std::string four = Source(4, [](std::int64_t i) { return i; });
    const FftOutcome o = Run(four, 32, FftWindow::Rectangular, -30, kDefaultFftMemoryBudget, 2, 3);
    EXPECT_FALSE(o.ok);
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path("out.fft")));
    EXPECT_TRUE(m_notifier.shown.empty());

    // Twelve samples, K = 10 > N / 2: harmonic 10 mirrors harmonic 2.
    const std::string twelve =
        Source(12, [](std::int64_t i) { return std::cos(2 * kPi * 2 * i / 12); });
    ASSERT_TRUE(Run(twelve, 10).ok);
    const ResultTable t = Written();
    ASSERT_EQ(t.rows.size(), 11u);
    EXPECT_NEAR(t.rows[1][1], 0.0, 1e-9);
    EXPECT_NEAR(t.rows[2][1], 1.0, 1e-9);
    EXPECT_NEAR(t.rows[10][1], 1.0, 1e-9);
}

TEST_F(FftComputationTest, StretchOfAFourColumnFile) {
    // Column 2 holds a cosine from record 100 to 1100; the rest is noise that must not count.
    const std::string src = m_dir.Path("four.ktx");
    ASSERT_TRUE(test::WriteFourColumnFile(
        src, 1500, {"V", "#", "A", "#"}, [](std::int64_t i) { return i * 1e-3; },
        [](std::int64_t i) {
            const bool in = i >= 100 && i < 1100;
            return std::array<double, 4>{
                7.0, 0.0,
                in ? 3 * std::cos(2 * kPi * (i - 100) / 1000.0) : 50.0 * ((i * 7919) % 13), 0.0};
        }));
    const auto layout = DetectSource(src);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->PresentColumns(), (std::vector<int>{0, 2}));
    EXPECT_FALSE(OnlyColumn(*layout));
    FftRequest r;
    r.source = src;
    r.layout = *layout;
    r.column = 2;
    r.period = ValidatePeriod(100, 1100);
    r.harmonics = 10;
    r.target = m_dir.Path("out.fft");
    ASSERT_TRUE(RunFft(r, m_notifier, NoProgress()).ok);
    const ResultTable t = Written();
    EXPECT_EQ(t.units[1], "A");
    EXPECT_NEAR(t.rows[1][1], 3.0, 1e-9);
    EXPECT_NEAR(t.rows[2][1], 0.0, 1e-9);
}

TEST_F(FftComputationTest, AbortWritesNothingAndTargetSameAsSourceIsRefused) {
    const std::string src = Source(1000, [](std::int64_t i) { return std::sin(0.01 * i); });
    test::WriteFile(m_dir.Path("out.fft"), std::string("old"));
    FftRequest r;
    r.source = src;
    r.layout = *DetectSource(src);
    r.period = ValidatePeriod(0, 1000);
    r.target = m_dir.Path("out.fft");
    const FftOutcome aborted = RunFft(r, m_notifier, NoProgress(), [] { return false; });
    EXPECT_TRUE(aborted.aborted);
    EXPECT_FALSE(aborted.ok);
    EXPECT_EQ(test::ReadFile(r.target), test::FromText("old"));

    // The source under another name: refused before anything is written.
    std::filesystem::create_symlink(src, m_dir.Path("link.fft"));
    r.target = m_dir.Path("link.fft");
    r.protectedFiles = {src};
    EXPECT_FALSE(RunFft(r, m_notifier, NoProgress()).ok);
    ASSERT_FALSE(m_notifier.shown.empty());
    EXPECT_EQ(m_notifier.shown.back().stringId, 10007);
    EXPECT_EQ(DetectSource(src)->records, 1001);
}

TEST_F(FftComputationTest, StreamingAndFftwWriteTheSameSpectrum) {
    // The same 100 000-sample period by both paths: the files agree to the Real6 rounding.
    const std::int64_t n = 100000;
    const std::string src = Source(n, [n](std::int64_t i) {
        const double p = 2 * kPi * i / n;
        return 1.5 + std::sin(p) + 0.2 * std::cos(7 * p) + 0.05 * std::sin(333 * p);
    });
    ASSERT_TRUE(Run(src, 1000, FftWindow::Hanning, -100, kDefaultFftMemoryBudget).ok);
    const ResultTable fast = Written();
    const FftOutcome streamed = Run(src, 1000, FftWindow::Hanning, -100, 0);
    ASSERT_TRUE(streamed.ok);
    EXPECT_TRUE(streamed.streaming);
    const ResultTable slow = Written();
    ASSERT_EQ(fast.rows.size(), slow.rows.size());
    for (std::size_t k = 0; k < fast.rows.size(); ++k) {
        EXPECT_NEAR(fast.rows[k][1], slow.rows[k][1], 1e-9 * fast.rows[1][1]) << k;
    }
}

TEST(FftSettings, MemoryBudgetFromTheIniFile) {
    test::TempDir dir;
    const std::string ini = dir.Path("kurvitex.ini");
    EXPECT_EQ(FftMemoryBudget(ini), kDefaultFftMemoryBudget);
    test::WriteFile(ini, std::string("[FFT]\nMEMORY=64\n"));
    EXPECT_EQ(FftMemoryBudget(ini), 64ull << 20);
    test::WriteFile(ini, std::string("[FFT]\nMEMORY=0\n"));
    EXPECT_EQ(FftMemoryBudget(ini), 0u);
}

}  // namespace
}  // namespace ktx
