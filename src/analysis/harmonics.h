// SPDX-License-Identifier: GPL-3.0-or-later
// The harmonic sums of one period of a sampled signal: for the N windowed samples v(i) the mean
// sum M = sum v(i) and, for harmonic k = 1..K, C(k) = sum v(i) cos(2 pi k i / N) and
// S(k) = sum v(i) sin(2 pi k i / N). These are the bins 0..K of the discrete Fourier transform
// of the windowed samples (C = Re X, S = -Im X), so a fast transform gives them.
//
// Two ways to get them, chosen by the memory they need:
//  - FFTW: the N windowed samples are kept and transformed at the end (N log N);
//  - streaming: one phasor per harmonic advanced by a complex multiplication per sample, its
//    angle taken afresh from the exact integer phase every kReseedInterval samples, so the
//    rounding of the recurrence never grows beyond that many steps. Memory is O(K), whatever N.
// Both agree with a direct summation to rounding.
//
// Not thread-safe (FFTW's planner is not); the analysis runs on one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ktx {

// The weightings of the FFT dialog's "Filter" group (index 0..3). Bell shapes of their own,
// not the textbook windows of these names: all are 1 in the middle of the period.
enum class FftWindow { Rectangular = 0, Hanning = 1, Hamming = 2, BlackmanHarris = 3 };

// Weight of sample i of n.
//   Rectangular     1
//   Hanning         4/3 (1 / (12 i^2/n^2 - 12 i/n + 4) - 1/4)   0 at i = 0
//   Hamming         1 / (36 i^2/n^2 - 36 i/n + 10)               0.1 at i = 0
//   Blackm.-Harris  n^(4u(1-u) - 1) with u = i/n                 1/n at i = 0
double WindowWeight(FftWindow window, std::int64_t i, std::int64_t n);

struct HarmonicSums {
    double mean = 0.0;         // M, the sum of the windowed samples (not yet divided by N)
    std::vector<double> c, s;  // C(k), S(k) at index k = 1..K; index 0 unused
};

// Default memory the fast path may use: 512 MB.
constexpr std::uint64_t kDefaultFftMemoryBudget = 512ull << 20;

// Bytes the FFTW path needs for n samples (the samples, the transform's output and room for its
// own scratch buffers).
std::uint64_t FftwBytesFor(std::int64_t n);

class HarmonicAccumulator {
  public:
    virtual ~HarmonicAccumulator() = default;
    // The next raw samples of the period, in order; the accumulator weights them.
    virtual void Add(const double* samples, std::size_t count) = 0;
    // After all N samples (or fewer when the caller stopped early): the sums of harmonics
    // 1..K.
    virtual HarmonicSums Finish() = 0;
    virtual bool Streaming() const = 0;
};

// The FFTW path when FftwBytesFor(n) fits `memoryBudget`, otherwise the streaming path.
std::unique_ptr<HarmonicAccumulator> MakeHarmonicAccumulator(std::int64_t n, int harmonics,
                                                             FftWindow window,
                                                             std::uint64_t memoryBudget);
std::unique_ptr<HarmonicAccumulator> MakeFftwAccumulator(std::int64_t n, int harmonics,
                                                         FftWindow window);
std::unique_ptr<HarmonicAccumulator> MakeStreamingAccumulator(std::int64_t n, int harmonics,
                                                              FftWindow window);

}  // namespace ktx
