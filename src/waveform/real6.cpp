// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/real6.h"

#include <bit>
#include <cmath>

namespace ktx {

namespace {
constexpr int kBias = 129;
constexpr int kFractionBits = 39;
}  // namespace

const double Real6::kMax = std::ldexp(2.0 - std::ldexp(1.0, -kFractionBits), 255 - kBias);
const double Real6::kMinPositive = std::ldexp(1.0, 1 - kBias);

}  // namespace ktx
