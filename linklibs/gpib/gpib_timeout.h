// SPDX-License-Identifier: GPL-3.0-or-later
// GPIB drivers take time-outs as one of 17 codes (T10us ... T1000s) instead of a duration.
#pragma once

namespace ktx::linklib {

// The code whose duration is nearest to `ms` on a logarithmic scale (the codes step by about
// 3x); 0 ms and below map to the shortest code that still waits, 1 ms (T1ms = 5).
int GpibTimeoutCode(int ms);
// Duration of a code in microseconds; 0 for code 0 ("no time-out") and codes out of range.
long long GpibTimeoutMicroseconds(int code);

}  // namespace ktx::linklib
