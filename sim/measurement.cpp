// SPDX-License-Identifier: GPL-3.0-or-later
// Automatic measurements over a whole record. Edges are found with hysteresis around the
// middle of the signal's range so that noise does not count as extra crossings.
#include "measurement.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace ktx::sim {

namespace {

constexpr std::string_view kTypes[] = {"FREQuency", "PERIod",  "MEAN",    "PK2pk",     "CRMs",
                                       "RMS",       "MINImum", "MAXImum", "AMPlitude", "RISe",
                                       "FALL",      "PWIdth",  "NWIdth"};

struct Edges {
    std::vector<double> rising;  // point positions (fractional) of rising mid-level crossings
    std::vector<double> falling;
};

// Crossings of the middle level; a new edge needs the signal to have left the band of
// ±10 % of the range around the middle first.
Edges FindEdges(std::span<const double> volts, double low, double high) {
    Edges edges;
    const double mid = (low + high) / 2.0;
    const double band = (high - low) * 0.1;
    int state = 0;  // -1 below the band, +1 above it
    for (std::size_t i = 1; i < volts.size(); ++i) {
        const double v = volts[i];
        if (v > mid + band && state <= 0) {
            if (state < 0) {
                // Interpolate the exact crossing of the middle on the way up.
                std::size_t j = i;
                while (j > 0 && volts[j - 1] > mid) {
                    --j;
                }
                const double a = j > 0 ? volts[j - 1] : volts[j];
                const double b = volts[j];
                const double frac = b != a ? (mid - a) / (b - a) : 0.0;
                edges.rising.push_back(static_cast<double>(j) - 1.0 + frac);
            }
            state = 1;
        } else if (v < mid - band && state >= 0) {
            if (state > 0) {
                std::size_t j = i;
                while (j > 0 && volts[j - 1] < mid) {
                    --j;
                }
                const double a = j > 0 ? volts[j - 1] : volts[j];
                const double b = volts[j];
                const double frac = b != a ? (a - mid) / (a - b) : 0.0;
                edges.falling.push_back(static_cast<double>(j) - 1.0 + frac);
            }
            state = -1;
        }
    }
    return edges;
}

std::optional<double> MeanSpacing(const std::vector<double>& positions) {
    if (positions.size() < 2) {
        return std::nullopt;
    }
    return (positions.back() - positions.front()) / static_cast<double>(positions.size() - 1);
}

// Mean distance from each edge of `from` to the next edge of `to`.
std::optional<double> MeanWidth(const std::vector<double>& from, const std::vector<double>& to) {
    double sum = 0.0;
    int count = 0;
    for (double start : from) {
        const auto next = std::upper_bound(to.begin(), to.end(), start);
        if (next != to.end()) {
            sum += *next - start;
            ++count;
        }
    }
    if (count == 0) {
        return std::nullopt;
    }
    return sum / count;
}

// Mean 10 % to 90 % transition time, in points, of the edges in one direction.
std::optional<double> MeanTransition(std::span<const double> volts, double low, double high,
                                     const std::vector<double>& edges, bool rising) {
    const double lower = low + 0.1 * (high - low);
    const double upper = low + 0.9 * (high - low);
    double sum = 0.0;
    int count = 0;
    for (double edge : edges) {
        const auto centre = static_cast<std::ptrdiff_t>(edge);
        std::ptrdiff_t before = centre;
        std::ptrdiff_t after = centre;
        const auto n = static_cast<std::ptrdiff_t>(volts.size());
        auto below = [&](std::ptrdiff_t i) {
            return rising ? volts[static_cast<std::size_t>(i)] <= lower
                          : volts[static_cast<std::size_t>(i)] >= upper;
        };
        auto beyond = [&](std::ptrdiff_t i) {
            return rising ? volts[static_cast<std::size_t>(i)] >= upper
                          : volts[static_cast<std::size_t>(i)] <= lower;
        };
        while (before > 0 && !below(before)) {
            --before;
        }
        while (after < n - 1 && !beyond(after)) {
            ++after;
        }
        if (below(before) && beyond(after)) {
            sum += static_cast<double>(after - before);
            ++count;
        }
    }
    if (count == 0) {
        return std::nullopt;
    }
    return sum / count;
}

}  // namespace

std::span<const std::string_view> MeasurementTypes() {
    return kTypes;
}

std::optional<double> Measure(std::string_view type, std::span<const double> volts,
                              double xIncrement) {
    if (volts.empty()) {
        return std::nullopt;
    }
    const auto [minIt, maxIt] = std::minmax_element(volts.begin(), volts.end());
    const double low = *minIt;
    const double high = *maxIt;
    const double n = static_cast<double>(volts.size());
    if (type == "MEAN") {
        double sum = 0.0;
        for (double v : volts) {
            sum += v;
        }
        return sum / n;
    }
    if (type == "RMS" || type == "CRMS") {
        double sum = 0.0;
        for (double v : volts) {
            sum += v * v;
        }
        return std::sqrt(sum / n);
    }
    if (type == "MINIMUM") {
        return low;
    }
    if (type == "MAXIMUM") {
        return high;
    }
    if (type == "PK2PK" || type == "AMPLITUDE") {
        return high - low;
    }
    if (high - low <= 0.0) {
        return std::nullopt;  // a flat line has no edges
    }
    const Edges edges = FindEdges(volts, low, high);
    std::optional<double> points;
    if (type == "PERIOD" || type == "FREQUENCY") {
        points = MeanSpacing(edges.rising);
        if (points && type == "FREQUENCY") {
            return 1.0 / (*points * xIncrement);
        }
    } else if (type == "PWIDTH") {
        points = MeanWidth(edges.rising, edges.falling);
    } else if (type == "NWIDTH") {
        points = MeanWidth(edges.falling, edges.rising);
    } else if (type == "RISE") {
        points = MeanTransition(volts, low, high, edges.rising, true);
    } else if (type == "FALL") {
        points = MeanTransition(volts, low, high, edges.falling, false);
    }
    if (!points) {
        return std::nullopt;
    }
    return *points * xIncrement;
}

std::string MeasurementUnit(std::string_view type) {
    if (type == "FREQUENCY") {
        return "Hz";
    }
    if (type == "PERIOD" || type == "RISE" || type == "FALL" || type == "PWIDTH" ||
        type == "NWIDTH") {
        return "s";
    }
    return "V";
}

}  // namespace ktx::sim
