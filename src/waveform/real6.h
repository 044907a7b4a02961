// SPDX-License-Identifier: GPL-3.0-or-later
// The 6-byte real of waveform files: byte 0 is the exponent biased by 129 (0 means the value 0),
// bytes 1..5 a little-endian 40-bit field with the 39-bit fraction in bits 0..38 and the sign in
// bit 39. Value = (-1)^s * (1 + f / 2^39) * 2^(e - 129). A storage format only: arithmetic is done
// in double, which holds every Real6 exactly.
#pragma once

#include <array>
#include <cstdint>

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

    double ToDouble() const;
    bool IsZero() const { return bytes[0] == 0; }

    friend bool operator==(const Real6&, const Real6&) = default;
};

static_assert(sizeof(Real6) == 6);

}  // namespace ktx
