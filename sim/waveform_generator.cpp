// SPDX-License-Identifier: GPL-3.0-or-later
// Deterministic test signals for the simulated inputs.
#include "waveform_generator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "number_format.h"

namespace ktx::sim {

namespace {

// SplitMix64: small, fast and the same on every platform (std distributions are not).
class NoiseSource {
  public:
    explicit NoiseSource(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Approximately Gaussian with unit deviation: the sum of four uniforms, rescaled.
    double Gaussian() {
        double sum = 0.0;
        for (int i = 0; i < 4; ++i) {
            sum += static_cast<double>(Next() >> 11) * 0x1.0p-53;
        }
        return (sum - 2.0) * std::sqrt(3.0);
    }

  private:
    std::uint64_t m_state;
};

constexpr ChannelScale kScales[] = {
    {1.0, 0.0},   // CH1
    {0.5, 1.0},   // CH2, one division above the centre
    {0.1, -1.0},  // CH3
    {2.0, 0.0},   // CH4
    {1.0, 0.0},   // MATH
};

double InputVolts(int input, double t, NoiseSource& noise) {
    constexpr double kTwoPi = 2.0 * std::numbers::pi;
    switch (input) {
        case 0:
            return 2.5 * std::sin(kTwoPi * 1000.0 * t) + 0.02 * noise.Gaussian();
        case 1: {
            // Odd harmonics 1..31 by the recurrence sin((k+2)x) = 2cos(2x)sin(kx) - sin((k-2)x),
            // so a 10 M-point record costs two sines per point, not sixteen.
            const double x = kTwoPi * 2000.0 * t;
            const double twoCos2x = 2.0 * std::cos(2.0 * x);
            double previous = -std::sin(x);  // sin(-x)
            double current = std::sin(x);
            double square = current;
            for (int k = 3; k <= 31; k += 2) {
                const double next = twoCos2x * current - previous;
                previous = current;
                current = next;
                square += current / k;
            }
            return 4.0 / std::numbers::pi * square + 0.01 * noise.Gaussian();
        }
        case 2:
            return 0.1 * noise.Gaussian();
        default: {
            const double w = kTwoPi * 500.0 * t;
            return 4.0 * std::sin(w) + 0.8 * std::sin(3.0 * w) + 0.4 * std::sin(5.0 * w) +
                   0.04 * noise.Gaussian();
        }
    }
}

std::int16_t ToLevel(double volts, const ChannelScale& scale) {
    const double level =
        std::round((volts / scale.voltsPerDivision + scale.positionDivisions) * kLevelsPerDivision);
    return static_cast<std::int16_t>(std::clamp(level, -32768.0, 32767.0));
}

}  // namespace

Timebase TimebaseFor(std::int64_t recordLength) {
    const std::int64_t points = std::max<std::int64_t>(recordLength, 1);
    return {10.0 * kSecondsPerDivision / static_cast<double>(points), points / 2};
}

ChannelScale ScaleOfInput(int input) {
    return kScales[std::clamp(input, 0, 4)];
}

std::string WaveformId(const std::string& source, const ChannelScale& scale,
                       std::int64_t recordLength) {
    return source + ", DC coupling, " + FormatNr3(scale.voltsPerDivision) + " V/div, " +
           FormatNr3(kSecondsPerDivision) + " s/div, " + FormatNr1(recordLength) +
           " points, Sample mode";
}

std::vector<std::int16_t> GenerateInput(int input, std::int64_t recordLength, std::uint64_t seed,
                                        std::uint64_t acquisition) {
    const std::size_t n = static_cast<std::size_t>(std::max<std::int64_t>(recordLength, 0));
    const Timebase timebase = TimebaseFor(recordLength);
    std::vector<std::int16_t> levels(n);
    if (input == 4) {
        NoiseSource noise1(seed * 0x100000001B3ULL + acquisition * 8 + 0);
        NoiseSource noise2(seed * 0x100000001B3ULL + acquisition * 8 + 1);
        for (std::size_t i = 0; i < n; ++i) {
            const double t =
                static_cast<double>(static_cast<std::int64_t>(i) - timebase.triggerPoint) *
                timebase.xIncrement;
            levels[i] = ToLevel(InputVolts(0, t, noise1) + InputVolts(1, t, noise2), kScales[4]);
        }
        return levels;
    }
    NoiseSource noise(seed * 0x100000001B3ULL + acquisition * 8 +
                      static_cast<std::uint64_t>(input));
    const ChannelScale scale = ScaleOfInput(input);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(static_cast<std::int64_t>(i) - timebase.triggerPoint) *
                         timebase.xIncrement;
        levels[i] = ToLevel(InputVolts(input, t, noise), scale);
    }
    return levels;
}

}  // namespace ktx::sim
