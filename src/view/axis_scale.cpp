// SPDX-License-Identifier: GPL-3.0-or-later
// Axis scaling and axis label texts.
#include "view/axis_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tools/format_with_prefix.h"

namespace ktx {
namespace {

// Quotients such as 0.6 / 0.2 come out as 2.9999999999999996; taken as they are, RoundOut
// would add a whole division to the grid.
double SnapToWhole(double q) {
    const double r = std::round(q);
    return std::fabs(q - r) <= 1e-9 * std::max(1.0, std::fabs(r)) ? r : q;
}

std::string RightAlign(std::string text, int width) {
    if (static_cast<int>(text.size()) < width) {
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    }
    return text;
}

}  // namespace

double RoundOut(double v) {
    const double t = std::trunc(v);
    if (t == v) {
        return v;
    }
    return v > 0 ? t + 1.0 : t - 1.0;
}

AxisScale NiceScale(double min, double max, int rows) {
    rows = std::max(rows, 1);
    double range = max - min;
    if (!(range > 0.0) || !std::isfinite(range)) {
        range = 1.0;
    }
    const int e = DecimalExponent(range);
    const double power = std::pow(10.0, e);
    const double mantissa = range / power;
    static constexpr double kSteps[] = {0.2, 0.5, 1.0, 2.0};
    int c = mantissa < 2.0 ? 0 : (mantissa < 5.0 ? 1 : 2);

    double step = 0.0;
    double low = 0.0;
    long long n = 1;
    for (;; ++c) {
        step = kSteps[c] * power;
        low = min == 0.0 ? 0.0 : RoundOut(SnapToWhole(min / step)) * step;
        const double high = RoundOut(SnapToWhole(max / step)) * step;
        n = std::max<long long>(1, std::llround((high - low) / step));
        if (n <= rows || c == 3) {
            break;
        }
    }
    AxisScale s;
    s.low = low;
    if (2 * n <= rows) {
        s.rows = static_cast<int>(2 * n);
        s.division = step / 2.0;
    } else {
        s.rows = static_cast<int>(n);
        s.division = step;
    }
    return s;
}

std::string FormatNumber(int width, double v) {
    if (v == 0.0) {
        return RightAlign("0", width);
    }
    char buf[64];
    if (std::fabs(v) > 0.1) {
        std::snprintf(buf, sizeof buf, "%.3f", v);
        if (static_cast<int>(std::string(buf).size()) <= width) {
            return RightAlign(buf, width);
        }
    }
    if (width < 7) {
        return "###";
    }
    int e = static_cast<int>(std::floor(std::log10(std::fabs(v))));
    std::string exponent = std::to_string(e);
    int decimals = std::max(0, width - static_cast<int>(exponent.size()) - 4);
    double mantissa = v / std::pow(10.0, e);
    std::snprintf(buf, sizeof buf, "%.*f", decimals, mantissa);
    // 9.9999 with 3 decimals prints as 10.000: carry into the exponent.
    if (std::fabs(std::atof(buf)) >= 10.0) {
        ++e;
        exponent = std::to_string(e);
        decimals = std::max(0, width - static_cast<int>(exponent.size()) - 4);
        mantissa = v / std::pow(10.0, e);
        std::snprintf(buf, sizeof buf, "%.*f", decimals, mantissa);
    }
    return RightAlign(std::string(buf) + "E" + exponent, width);
}

}  // namespace ktx
