// SPDX-License-Identifier: GPL-3.0-or-later
// How the simulated instrument's measured values change over time: a slow swing and a faster
// ripple on top of the value measured or read, so that a logger records a curve rather than a
// constant. Deterministic: the same seed, channel and time always give the same factor.
#pragma once

#include <cstdint>

namespace ktx::sim {

// Factor around 1 (within ±12 %, exactly 1 at 0 s) for measurement channel `channel` at
// `seconds` since power-on. Channels differ in phase, so four logged values do not move together.
double ReadingDrift(std::uint64_t seed, int channel, double seconds);

// The continuity probe: the contact closes for 5 s in every 10 s (seed shifts the phase).
bool ContinuityClosed(std::uint64_t seed, double seconds);

}  // namespace ktx::sim
