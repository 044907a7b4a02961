// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/real6.h"

#include <bit>
#include <cmath>

namespace ktx {

namespace {
constexpr int kBias = 129;
constexpr int kFractionBits = 39;
constexpr std::uint64_t kFractionMask = (std::uint64_t{1} << kFractionBits) - 1;
constexpr std::uint64_t kSignBit = std::uint64_t{1} << kFractionBits;
}  // namespace

const double Real6::kMax = std::ldexp(2.0 - std::ldexp(1.0, -kFractionBits), 255 - kBias);
const double Real6::kMinPositive = std::ldexp(1.0, 1 - kBias);

double Real6::ToDouble() const {
    const int e = bytes[0];
    if (e == 0) {
        return 0.0;
    }
    std::uint64_t field = 0;
    for (int i = 5; i >= 1; --i) {
        field = (field << 8) | bytes[i];
    }
    // Assemble the IEEE double directly: 39 fraction bits fit the 52-bit mantissa, and the
    // exponent range 2^-128 .. 2^126 lies well inside double's.
    const std::uint64_t fraction = field & kFractionMask;
    const std::uint64_t sign = (field & kSignBit) ? (std::uint64_t{1} << 63) : 0;
    const std::uint64_t exponent = static_cast<std::uint64_t>(e - kBias + 1023);
    return std::bit_cast<double>(sign | (exponent << 52) | (fraction << (52 - kFractionBits)));
}

Real6 Real6::FromDouble(double value) {
    Real6 r;
    if (std::isnan(value) || value == 0.0) {
        return r;
    }
    const bool negative = std::signbit(value);
    double magnitude = std::fabs(value);
    if (magnitude > kMax) {
        magnitude = kMax;
    }
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
    int exponent = static_cast<int>(bits >> 52);  // biased by 1023; 0 for subnormals
    if (exponent == 0) {
        return r;  // far below 2^-128
    }
    // Round the 52-bit mantissa to 39 bits, ties to even.
    constexpr int kDrop = 52 - kFractionBits;
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    const std::uint64_t dropped = mantissa & ((std::uint64_t{1} << kDrop) - 1);
    mantissa >>= kDrop;
    constexpr std::uint64_t kHalf = std::uint64_t{1} << (kDrop - 1);
    if (dropped > kHalf || (dropped == kHalf && (mantissa & 1))) {
        ++mantissa;
        if (mantissa > kFractionMask) {  // carried into the hidden bit
            mantissa = 0;
            ++exponent;
        }
    }
    int e = exponent - 1023 + kBias;
    if (e <= 0) {
        return r;
    }
    if (e > 255) {  // only reachable by rounding kMax up, which cannot happen; keep it safe
        e = 255;
        mantissa = kFractionMask;
    }
    std::uint64_t field = mantissa | (negative ? kSignBit : 0);
    r.bytes[0] = static_cast<std::uint8_t>(e);
    for (int i = 1; i <= 5; ++i) {
        r.bytes[i] = static_cast<std::uint8_t>(field & 0xFF);
        field >>= 8;
    }
    return r;
}

}  // namespace ktx
