// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/real6.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace ktx {
namespace {

Real6 R(std::initializer_list<int> b) {
    Real6 r;
    int i = 0;
    for (int v : b) {
        r.bytes[i++] = static_cast<std::uint8_t>(v);
    }
    return r;
}

// Decodes the way the Pascal 6-byte real is defined, with nothing but integer arithmetic and
// ldexp, as an independent reference.
double Reference(const Real6& r) {
    if (r.bytes[0] == 0) {
        return 0.0;
    }
    long double f = 0;
    for (int i = 5; i >= 1; --i) {
        f = f * 256 + (i == 5 ? (r.bytes[i] & 0x7F) : r.bytes[i]);
    }
    const long double mantissa = 1.0L + f / 549755813888.0L;  // 2^39
    const long double v = std::ldexp(mantissa, r.bytes[0] - 129);
    return static_cast<double>((r.bytes[5] & 0x80) ? -v : v);
}

struct Known {
    Real6 real;
    double value;
    friend void PrintTo(const Known& k, std::ostream* os) { *os << k.value; }
};

class Real6Known : public ::testing::TestWithParam<Known> {};

// Values as Turbo Pascal stores them in a 6-byte real.
INSTANTIATE_TEST_SUITE_P(PascalReals, Real6Known,
                         ::testing::Values(Known{R({0x81, 0, 0, 0, 0, 0}), 1.0},
                                           Known{R({0x81, 0, 0, 0, 0, 0x80}), -1.0},
                                           Known{R({0x80, 0, 0, 0, 0, 0}), 0.5},
                                           Known{R({0x84, 0, 0, 0, 0, 0x20}), 10.0},
                                           Known{R({0x87, 0, 0, 0, 0, 0x48}), 100.0},
                                           Known{R({0x7D, 0xCD, 0xCC, 0xCC, 0xCC, 0x4C}), 0.1},
                                           Known{R({0x82, 0x21, 0xA2, 0xDA, 0x0F, 0x49}),
                                                 3.141592653589793},
                                           Known{R({0x01, 0, 0, 0, 0, 0}), std::ldexp(1.0, -128)},
                                           Known{R({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}),
                                                 std::ldexp(2.0 - std::ldexp(1.0, -39), 126)}));

TEST_P(Real6Known, DecodesAndEncodes) {
    const Known& k = GetParam();
    // Decoding is exact; 0.1 and pi are stored rounded, so compare against the reference.
    EXPECT_EQ(k.real.ToDouble(), Reference(k.real));
    EXPECT_NEAR(k.real.ToDouble(), k.value, std::fabs(k.value) * std::ldexp(1.0, -39));
    EXPECT_EQ(Real6::FromDouble(k.value), k.real);
}

TEST(Real6, ZeroExponentIsZeroWhateverTheOtherBytes) {
    EXPECT_EQ(R({0, 0xFF, 0x12, 0x34, 0x56, 0xFF}).ToDouble(), 0.0);
    EXPECT_EQ(Real6::FromDouble(0.0), R({0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Real6::FromDouble(-0.0), R({0, 0, 0, 0, 0, 0}));
}

TEST(Real6, EveryBytePatternDecodesExactlyAndRoundTrips) {
    std::mt19937_64 rng(42);
    for (int n = 0; n < 200000; ++n) {
        Real6 r;
        const std::uint64_t bits = rng();
        for (int i = 0; i < 6; ++i) {
            r.bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
        }
        if (r.bytes[0] == 0) {
            continue;
        }
        ASSERT_EQ(r.ToDouble(), Reference(r));
        ASSERT_EQ(Real6::FromDouble(r.ToDouble()), r);
    }
}

TEST(Real6, EncodingRoundsTheFractionToNearest) {
    const double one = 1.0;
    const double ulp = std::ldexp(1.0, -39);
    // Just below half an ulp rounds down, just above rounds up; exactly half goes to even.
    EXPECT_EQ(Real6::FromDouble(one + ulp * 0.49).ToDouble(), one);
    EXPECT_EQ(Real6::FromDouble(one + ulp * 0.51).ToDouble(), one + ulp);
    EXPECT_EQ(Real6::FromDouble(one + ulp * 0.5).ToDouble(), one);
    EXPECT_EQ(Real6::FromDouble(one + ulp * 1.5).ToDouble(), one + 2 * ulp);
    // A carry out of the fraction raises the exponent.
    EXPECT_EQ(Real6::FromDouble(2.0 - ulp * 0.25), R({0x82, 0, 0, 0, 0, 0}));

    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> mant(1.0, 2.0);
    std::uniform_int_distribution<int> exp(-120, 120);
    for (int n = 0; n < 100000; ++n) {
        const double v = std::ldexp(mant(rng), exp(rng)) * ((n & 1) ? -1 : 1);
        const double back = Real6::FromDouble(v).ToDouble();
        ASSERT_LE(std::fabs(back - v), std::fabs(v) * std::ldexp(1.0, -40)) << v;
    }
}

TEST(Real6, RangeLimits) {
    // Below the smallest exponent: 0.
    EXPECT_TRUE(Real6::FromDouble(std::ldexp(1.0, -129)).IsZero());
    EXPECT_TRUE(Real6::FromDouble(1e-300).IsZero());
    EXPECT_TRUE(Real6::FromDouble(std::numeric_limits<double>::denorm_min()).IsZero());
    EXPECT_EQ(Real6::FromDouble(std::ldexp(1.0, -128)).ToDouble(), Real6::kMinPositive);
    // Rounds up into the smallest exponent.
    EXPECT_EQ(Real6::FromDouble(std::ldexp(2.0 - std::ldexp(1.0, -45), -129)).ToDouble(),
              Real6::kMinPositive);
    // Above the largest: saturated with the sign kept, never a wrapped exponent.
    EXPECT_EQ(Real6::FromDouble(1e39).ToDouble(), Real6::kMax);
    EXPECT_EQ(Real6::FromDouble(-1e300).ToDouble(), -Real6::kMax);
    EXPECT_EQ(Real6::FromDouble(std::numeric_limits<double>::infinity()).ToDouble(), Real6::kMax);
    EXPECT_TRUE(Real6::FromDouble(std::numeric_limits<double>::quiet_NaN()).IsZero());
    EXPECT_NEAR(Real6::kMax, 1.7e38, 0.01e38);
    EXPECT_NEAR(Real6::kMinPositive, 2.94e-39, 0.01e-39);
}

}  // namespace
}  // namespace ktx
