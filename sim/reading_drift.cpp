// SPDX-License-Identifier: GPL-3.0-or-later
// The drift of measured values over time.
#include "reading_drift.h"

#include <cmath>
#include <numbers>

namespace ktx::sim {

namespace {

double Phase(std::uint64_t seed, int channel) {
    // A fixed, well-spread phase per seed and channel.
    std::uint64_t x =
        seed * 0x9E3779B97F4A7C15ULL + static_cast<std::uint64_t>(channel) * 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 31;
    return static_cast<double>(x % 6283) / 1000.0;
}

}  // namespace

double ReadingDrift(std::uint64_t seed, int channel, double seconds) {
    const double phase = Phase(seed, channel);
    constexpr double kTwoPi = 2.0 * std::numbers::pi;
    // A one-minute swing of 5 % and a 7.3-second ripple of 1 %.
    // Both start from their value at power-on, so a clock held at 0 reads the plain signal.
    return 1.0 + 0.05 * (std::sin(kTwoPi * seconds / 60.0 + phase) - std::sin(phase)) +
           0.01 * (std::sin(kTwoPi * seconds / 7.3 + 2.0 * phase) - std::sin(2.0 * phase));
}

bool ContinuityClosed(std::uint64_t seed, double seconds) {
    const double shifted = seconds + static_cast<double>(seed % 10);
    return static_cast<long long>(std::floor(shifted / 5.0)) % 2 == 1;
}

}  // namespace ktx::sim
