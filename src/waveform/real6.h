// SPDX-License-Identifier: GPL-3.0-or-later
// The 6-byte real of waveform files: byte 0 is the exponent biased by 129 (0 means the value 0),
// bytes 1..5 a little-endian 40-bit field with the 39-bit fraction in bits 0..38 and the sign in
// bit 39. Value = (-1)^s * (1 + f / 2^39) * 2^(e - 129). A storage format only: arithmetic is done
// in double, which holds every Real6 exactly.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace ktx {

struct Real6 {
    std::array<std::uint8_t, 6> bytes{};

    // Largest magnitude: exponent 255, all fraction bits set (about 1.7E38).
    static const double kMax;
    // Smallest non-zero magnitude: exponent 1, fraction 0 (2^-128, about 2.9E-39).
    static const double kMinPositive;

    // Rounds the fraction to 39 bits, to nearest with ties to even. Magnitudes that round below
    // kMinPositive give 0. Magnitudes above kMax, and infinities, saturate to +-kMax with the
    // sign kept, so a file never holds a wrapped exponent; NaN gives 0.
    static Real6 FromDouble(double value);

    double ToDouble() const { return Decode(bytes.data()); }

    // The value of the six bytes at `p`, for loaders that decode straight from a read buffer.
    static double Decode(const std::uint8_t* p) {
        if (p[0] == 0) {
            return 0.0;
        }
        // One 4-byte load and one byte: assembling the 40-bit field through a 5-byte copy
        // stalls on store forwarding in the loaders' inner loops.
        std::uint32_t low;
        std::memcpy(&low, p + 1, 4);
        if constexpr (std::endian::native == std::endian::big) {
            low = __builtin_bswap32(low);
        }
        const std::uint64_t field = std::uint64_t{low} | std::uint64_t{p[5]} << 32;
        // Assemble the IEEE double directly: 39 fraction bits fit the 52-bit mantissa, and the
        // exponent range 2^-128 .. 2^126 lies well inside double's.
        const std::uint64_t fraction = field & ((std::uint64_t{1} << 39) - 1);
        const std::uint64_t sign = (field >> 39) << 63;
        const auto exponent = static_cast<std::uint64_t>(p[0] - 129 + 1023);
        return std::bit_cast<double>(sign | (exponent << 52) | (fraction << 13));
    }
    bool IsZero() const { return bytes[0] == 0; }

    friend bool operator==(const Real6&, const Real6&) = default;
};

static_assert(sizeof(Real6) == 6);

// Inline: every converted point passes through here.
inline Real6 Real6::FromDouble(double value) {
    Real6 r;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    const auto exponent = static_cast<int>((bits >> 52) & 0x7FF);
    // 0x7FF: infinity or NaN; values above kMax (2^127 and up) saturate below.
    if (exponent == 0 || (exponent == 0x7FF && (bits & ((std::uint64_t{1} << 52) - 1)) != 0)) {
        return r;  // zero, far below 2^-128, or NaN
    }
    // Round the 52-bit mantissa to 39 bits, ties to even; a carry out of the mantissa raises
    // the exponent, which the addition does by itself.
    constexpr int kDrop = 52 - 39;
    const std::uint64_t magnitude = bits & ~(std::uint64_t{1} << 63);
    const std::uint64_t half = (std::uint64_t{1} << (kDrop - 1)) - 1 + ((magnitude >> kDrop) & 1);
    const std::uint64_t rounded = (magnitude + half) >> kDrop;  // exponent and 39-bit fraction
    const int e = static_cast<int>(rounded >> 39) - 1023 + 129;
    if (e <= 0) {
        return r;
    }
    std::uint64_t field;
    std::uint8_t e8;
    if (e > 255) {
        e8 = 255;
        field = (std::uint64_t{1} << 39) - 1;
    } else {
        e8 = static_cast<std::uint8_t>(e);
        field = rounded & ((std::uint64_t{1} << 39) - 1);
    }
    field |= (bits >> 63) << 39;
    r.bytes[0] = e8;
    for (int i = 1; i <= 5; ++i) {
        r.bytes[i] = static_cast<std::uint8_t>(field >> (8 * (i - 1)));
    }
    return r;
}

}  // namespace ktx
