// SPDX-License-Identifier: GPL-3.0-or-later
// The signals on the simulated inputs and their vertical and horizontal scaling.
// Levels are 16-bit digitizer levels: 25 × 256 = 6400 levels per division, the screen centre
// at level 0 plus the channel's position; one-byte transfers carry the upper byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ktx::sim {

inline constexpr double kLevelsPerDivision = 6400.0;
inline constexpr double kSecondsPerDivision = 1.0e-3;  // time base: a record spans 10 divisions

struct ChannelScale {
    double voltsPerDivision = 1.0;
    double positionDivisions = 0.0;  // trace position; YOFF in levels
};

struct Timebase {
    double xIncrement = 0.0;        // seconds between points
    std::int64_t triggerPoint = 0;  // PT_OFF: the trigger sits in the middle of the record
};

Timebase TimebaseFor(std::int64_t recordLength);

// Scaling of CH1..CH4 (index 0..3) and MATH (index 4).
ChannelScale ScaleOfInput(int input);
// A short description for WFID ("Ch1, DC coupling, 1.0E0 V/div, 1.0E-3 s/div, 2500 points").
std::string WaveformId(const std::string& source, const ChannelScale& scale,
                       std::int64_t recordLength);

// One acquisition of an input: CH1 a 1 kHz sine of 2.5 V, CH2 a 2 kHz square of 1 V built
// from its odd harmonics, CH3 Gaussian noise of 100 mV rms, CH4 a 500 Hz sine with third and
// fifth harmonics, MATH = CH1 + CH2. Noise comes from `seed` and the acquisition number, so a
// given seed always gives the same sequence of frames.
std::vector<std::int16_t> GenerateInput(int input, std::int64_t recordLength, std::uint64_t seed,
                                        std::uint64_t acquisition);

}  // namespace ktx::sim
