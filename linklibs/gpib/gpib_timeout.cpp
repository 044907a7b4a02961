// SPDX-License-Identifier: GPL-3.0-or-later
// Mapping between milliseconds and GPIB time-out codes.
#include "gpib_timeout.h"

#include <cmath>

namespace ktx::linklib {

namespace {
// T10us, T30us, T100us, T300us, T1ms, ... T1000s: codes 1 ... 17.
constexpr long long kMicroseconds[] = {
    10,     30,      100,     300,      1000,     3000,      10000,     30000,      100000,
    300000, 1000000, 3000000, 10000000, 30000000, 100000000, 300000000, 1000000000,
};
constexpr int kCodes = static_cast<int>(sizeof kMicroseconds / sizeof kMicroseconds[0]);
}  // namespace

int GpibTimeoutCode(int ms) {
    if (ms <= 1) {
        return 5;
    }
    const double target = std::log(static_cast<double>(ms) * 1000.0);
    int best = 1;
    double bestDistance = 1e300;
    for (int code = 1; code <= kCodes; ++code) {
        const double distance =
            std::fabs(std::log(static_cast<double>(kMicroseconds[code - 1])) - target);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = code;
        }
    }
    return best;
}

long long GpibTimeoutMicroseconds(int code) {
    return code >= 1 && code <= kCodes ? kMicroseconds[code - 1] : 0;
}

}  // namespace ktx::linklib
