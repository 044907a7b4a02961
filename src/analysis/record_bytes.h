// SPDX-License-Identifier: GPL-3.0-or-later
// The inner loops of the math functions work on the records' bytes as they were read: these
// give a record's time in seconds and put a result record, inline, with the same results as
// TimeFieldToSeconds and Real6::FromDouble.
#pragma once

#include <cstdint>
#include <cstring>

#include "waveform/real6.h"
#include "waveform/time_field.h"

namespace ktx {

constexpr std::size_t kResultRecord = 12;

// TimeFieldToSeconds of the time field at `p`. An oscilloscope curve keeps hours and minutes 0
// and its seconds a normal single below 2^127, which a Real6 holds exactly: then the single
// itself is the answer. Anything else (a long recording, zero, a subnormal, infinity, NaN, a
// single too large for a Real6) takes the general route.
inline double SecondsOf(const std::uint8_t* p) {
    const std::uint32_t bits = std::uint32_t{p[2]} | std::uint32_t{p[3]} << 8 |
                               std::uint32_t{p[4]} << 16 | std::uint32_t{p[5]} << 24;
    const std::uint32_t exponent = (bits >> 23) & 0xFF;
    if ((p[0] | p[1]) == 0 && exponent >= 1 && exponent <= 253) {
        float s;
        std::memcpy(&s, &bits, sizeof s);
        return static_cast<double>(s);
    }
    TimeField t;
    std::memcpy(t.bytes.data(), p, 6);
    return TimeFieldToSeconds(t);
}

// A one-column result record at `dst`: the six time bytes at `time`, then `value` as a Real6.
inline void PutResult(std::uint8_t* dst, const std::uint8_t* time, double value) {
    std::memcpy(dst, time, 6);
    Real6::Encode(value, dst + 6);
}

}  // namespace ktx
