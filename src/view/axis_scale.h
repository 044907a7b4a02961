// SPDX-License-Identifier: GPL-3.0-or-later
// Axis scaling and the fixed-width number texts of the axis labels, shared by the waveform,
// FFT and math views.
#pragma once

#include <string>

namespace ktx {

struct AxisScale {
    double low = 0.0;       // value at the lowest grid line
    double division = 1.0;  // value per grid division
    int rows = 1;           // number of divisions
};

// A grid of at most `rows` divisions of 1, 2 or 5 times a power of ten (halved when that still
// fits twice) that covers min..max. A range of 0 (a curve that is all zero) is scaled as if it
// were 1, so the grid stays usable.
AxisScale NiceScale(double min, double max, int rows);

// Rounds away from zero to a whole number; an integral value stays.
double RoundOut(double v);

// `v` right-aligned in `width`: "0" for 0; 3 decimals when that fits and |v| > 0.1; otherwise,
// for widths of 7 and more, a mantissa, "E" and the plain exponent ("1.500E-5"); else "###".
std::string FormatNumber(int width, double v);

}  // namespace ktx
