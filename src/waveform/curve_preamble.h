// SPDX-License-Identifier: GPL-3.0-or-later
// Scaling of one instrument curve, filled from the instrument's preamble (WFMPRE values) or
// from a foreign file's preamble, and read by the curve converters. Values are held as Real6,
// exactly as they are stored, so a converted file does not depend on where the values came from.
#pragma once

#include <array>
#include <cstdint>

#include "waveform/real6.h"

namespace ktx {

struct CurvePreamble {
    std::int32_t NR_PT = 0;         // number of points requested
    Real6 XINCR;                    // seconds between points
    Real6 PT_OFF;                   // point number of the trigger
    std::array<Real6, 10> YOFF{};   // vertical offset in digitizer levels, one per source
    std::array<Real6, 10> YMULT{};  // volts per digitizer level, one per source
};

}  // namespace ktx
