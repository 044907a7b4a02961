// SPDX-License-Identifier: GPL-3.0-or-later
// The harmonic sums of both paths (FFTW, streaming phasors) against a direct summation in long
// double, on random signals, for every weighting and for odd, even and large-prime-factor N.
#include "analysis/harmonics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <random>
#include <tuple>
#include <vector>

namespace ktx {
namespace {

// The weightings written out once more, in long double.
long double ReferenceWeight(FftWindow w, std::int64_t i, std::int64_t n) {
    const long double u = static_cast<long double>(i) / static_cast<long double>(n);
    switch (w) {
        case FftWindow::Rectangular:
            return 1.0L;
        case FftWindow::Hanning:
            return 4.0L / 3.0L * (1.0L / (12.0L * u * u - 12.0L * u + 4.0L) - 0.25L);
        case FftWindow::Hamming:
            return 1.0L / (36.0L * u * u - 36.0L * u + 10.0L);
        case FftWindow::BlackmanHarris:
            return std::pow(static_cast<long double>(n), 4.0L * u * (1.0L - u) - 1.0L);
    }
    return 0.0L;
}

struct DirectSums {
    long double mean = 0.0L;
    std::vector<long double> c, s;
};

struct AngleTable {
    std::vector<long double> cos, sin;
};

// cos and sin of 2 pi m / N in long double, made once per N.
const AngleTable& Angles(std::int64_t n) {
    static std::map<std::int64_t, AngleTable> tables;
    AngleTable& t = tables[n];
    if (t.cos.empty()) {
        const long double pi = std::numbers::pi_v<long double>;
        t.cos.resize(static_cast<std::size_t>(n));
        t.sin.resize(static_cast<std::size_t>(n));
        for (std::int64_t m = 0; m < n; ++m) {
            const long double angle =
                2.0L * pi * static_cast<long double>(m) / static_cast<long double>(n);
            t.cos[static_cast<std::size_t>(m)] = std::cos(angle);
            t.sin[static_cast<std::size_t>(m)] = std::sin(angle);
        }
    }
    return t;
}

// sum v(i) cos(2 pi k i / N) with the angle taken from the exact integer phase k i mod N.
DirectSums Direct(const std::vector<double>& x, int harmonics, FftWindow w) {
    const auto n = static_cast<std::int64_t>(x.size());
    const std::vector<long double>& cosTable = Angles(n).cos;
    const std::vector<long double>& sinTable = Angles(n).sin;
    DirectSums d;
    d.c.assign(static_cast<std::size_t>(harmonics) + 1, 0.0L);
    d.s.assign(static_cast<std::size_t>(harmonics) + 1, 0.0L);
    for (std::int64_t i = 0; i < n; ++i) {
        const long double v = x[static_cast<std::size_t>(i)] * ReferenceWeight(w, i, n);
        d.mean += v;
        for (int k = 1; k <= harmonics; ++k) {
            const auto m = static_cast<std::size_t>((static_cast<std::int64_t>(k) * i) % n);
            d.c[static_cast<std::size_t>(k)] += v * cosTable[m];
            d.s[static_cast<std::size_t>(k)] += v * sinTable[m];
        }
    }
    return d;
}

std::vector<double> RandomSignal(std::int64_t n, unsigned seed) {
    std::mt19937_64 gen(seed);
    std::vector<double> x(static_cast<std::size_t>(n));
    for (double& v : x) {
        v = static_cast<double>(gen() >> 11) * 0x1p-52 - 1.0;  // uniform in [-1, 1)
    }
    return x;
}

HarmonicSums Feed(HarmonicAccumulator& acc, const std::vector<double>& x) {
    // Uneven pieces, so block ends fall anywhere relative to the re-seeding.
    for (std::size_t at = 0; at < x.size(); at += 777) {
        acc.Add(x.data() + at, std::min<std::size_t>(777, x.size() - at));
    }
    return acc.Finish();
}

using Case = std::tuple<FftWindow, std::int64_t>;

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    static const char* const kNames[] = {"Rectangular", "Hanning", "Hamming", "BlackmanHarris"};
    return std::string(kNames[static_cast<int>(std::get<0>(info.param))]) + "_N" +
           std::to_string(std::get<1>(info.param));
}

class HarmonicPathsTest : public ::testing::TestWithParam<Case> {};

TEST_P(HarmonicPathsTest, BothPathsAgreeWithLongDoubleSummation) {
    const auto [window, n] = GetParam();
    // Up to 1000 harmonics (more than N/2, even more than N, for the small sizes: the sums are
    // periodic in k); fewer for the long signals to keep the reference affordable.
    const int harmonics = n <= 5000 ? 1000 : 40;
    const std::vector<double> x =
        RandomSignal(n, static_cast<unsigned>(n) * 7 + static_cast<unsigned>(window));
    const DirectSums ref = Direct(x, harmonics, window);
    // 1e-9 of the fundamental's amplitude; amplitudes are the sums over N/2 on both sides.
    const double tolerance = 1e-9 * static_cast<double>(std::hypot(ref.c[1], ref.s[1]));

    for (const bool streaming : {false, true}) {
        SCOPED_TRACE(streaming ? "streaming" : "FFTW");
        auto acc = streaming ? MakeStreamingAccumulator(n, harmonics, window)
                             : MakeFftwAccumulator(n, harmonics, window);
        ASSERT_NE(acc, nullptr);
        EXPECT_EQ(acc->Streaming(), streaming);
        const HarmonicSums sums = Feed(*acc, x);
        ASSERT_EQ(sums.c.size(), static_cast<std::size_t>(harmonics) + 1);
        EXPECT_NEAR(sums.mean, static_cast<double>(ref.mean), tolerance);
        double worst = 0.0;
        for (int k = 1; k <= harmonics; ++k) {
            const auto i = static_cast<std::size_t>(k);
            worst = std::max({worst, std::fabs(sums.c[i] - static_cast<double>(ref.c[i])),
                              std::fabs(sums.s[i] - static_cast<double>(ref.s[i]))});
        }
        EXPECT_LE(worst, tolerance) << "N = " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    WindowsAndSizes, HarmonicPathsTest,
    ::testing::Combine(::testing::Values(FftWindow::Rectangular, FftWindow::Hanning,
                                         FftWindow::Hamming, FftWindow::BlackmanHarris),
                       // odd, even, a power of two, 2 x 99991, 2 x 500009
                       ::testing::Values(std::int64_t{1001}, std::int64_t{998}, std::int64_t{4096},
                                         std::int64_t{199982}, std::int64_t{1000018})),
    CaseName);

TEST(HarmonicWeights, BellShapesOfTheirOwn) {
    // 0 / 0.1 / 1/N at the start, 1 in the middle.
    const std::int64_t n = 1000;
    EXPECT_DOUBLE_EQ(WindowWeight(FftWindow::Rectangular, 0, n), 1.0);
    EXPECT_NEAR(WindowWeight(FftWindow::Hanning, 0, n), 0.0, 1e-15);
    EXPECT_NEAR(WindowWeight(FftWindow::Hanning, n / 2, n), 1.0, 1e-15);
    EXPECT_NEAR(WindowWeight(FftWindow::Hamming, 0, n), 0.1, 1e-15);
    EXPECT_NEAR(WindowWeight(FftWindow::Hamming, n / 2, n), 1.0, 1e-15);
    EXPECT_NEAR(WindowWeight(FftWindow::BlackmanHarris, 0, n), 1.0 / n, 1e-15);
    EXPECT_NEAR(WindowWeight(FftWindow::BlackmanHarris, n / 2, n), 1.0, 1e-12);
}

TEST(HarmonicPaths, BudgetChoosesThePath) {
    EXPECT_FALSE(MakeHarmonicAccumulator(1000, 32, FftWindow::Hanning, kDefaultFftMemoryBudget)
                     ->Streaming());
    EXPECT_TRUE(
        MakeHarmonicAccumulator(1000, 32, FftWindow::Hanning, FftwBytesFor(1000) - 1)->Streaming());
    // 10^9 samples do not fit 512 MB: streamed, with memory for the K phasors only.
    EXPECT_TRUE(
        MakeHarmonicAccumulator(1'000'000'000, 1000, FftWindow::Hanning, kDefaultFftMemoryBudget)
            ->Streaming());
}

}  // namespace
}  // namespace ktx
