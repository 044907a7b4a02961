// SPDX-License-Identifier: GPL-3.0-or-later
// The inner loops of the math functions work on the records' bytes as they were read: these
// give a record's time in seconds and put a result record, inline, with the same results as
// TimeFieldToSeconds and Real6::FromDouble.
#pragma once

#include <bit>
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

// The six bytes of Real6::FromDouble(value), stored at `p` as one byte, four bytes and one
// byte: building them one by one and copying the six on stalls the store forwarding of the
// inner loops. The same rounding as FromDouble (the 52-bit mantissa to 39 bits, ties to even;
// zero, NaN and magnitudes below 2^-128 give all zero bytes; infinities and magnitudes above
// the largest Real6 saturate with their sign).
inline void PutReal6(std::uint8_t* p, double value) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    const auto exponent = static_cast<int>((bits >> 52) & 0x7FF);
    constexpr std::uint64_t kFraction39 = (std::uint64_t{1} << 39) - 1;
    std::uint64_t field = 0;
    std::uint8_t e8 = 0;
    if (exponent != 0 && !(exponent == 0x7FF && (bits & ((std::uint64_t{1} << 52) - 1)) != 0)) {
        constexpr int kDrop = 52 - 39;
        const std::uint64_t magnitude = bits & ~(std::uint64_t{1} << 63);
        const std::uint64_t half =
            (std::uint64_t{1} << (kDrop - 1)) - 1 + ((magnitude >> kDrop) & 1);
        const std::uint64_t rounded = (magnitude + half) >> kDrop;  // exponent and fraction
        const int e = static_cast<int>(rounded >> 39) - 1023 + 129;
        if (e > 255) {
            e8 = 255;
            field = kFraction39 | (bits >> 63) << 39;
        } else if (e > 0) {
            e8 = static_cast<std::uint8_t>(e);
            field = (rounded & kFraction39) | (bits >> 63) << 39;
        }
    }
    auto low = static_cast<std::uint32_t>(field);
    if constexpr (std::endian::native == std::endian::big) {
        low = __builtin_bswap32(low);
    }
    p[0] = e8;
    std::memcpy(p + 1, &low, 4);
    p[5] = static_cast<std::uint8_t>(field >> 32);
}

// A one-column result record at `dst`: the six time bytes at `time`, then `value` as a Real6.
inline void PutResult(std::uint8_t* dst, const std::uint8_t* time, double value) {
    std::memcpy(dst, time, 6);
    PutReal6(dst + 6, value);
}

}  // namespace ktx
