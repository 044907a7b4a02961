// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/distribution_classes.h"

#include <cmath>
#include <limits>

namespace ktx {

DistributionClasses::DistributionClasses(const std::array<double, kClasses>& edges,
                                         double largest) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    m_bounds[0] = -kInfinity;
    for (std::size_t j = 1; j < kClasses; ++j) {
        m_bounds[j] = edges[j];
    }
    m_bounds[kClasses] = kInfinity;
    m_origin = edges[0];
    const double span = edges[kClasses - 1] - edges[0];
    m_inverseWidth = 255.0 / span;
    bool usable = std::isfinite(m_origin) && std::isfinite(span) && span > 0.0 &&
                  std::isfinite(m_inverseWidth) && m_inverseWidth > 0.0;
    for (std::size_t j = 1; usable && j < kClasses; ++j) {
        usable = std::isfinite(edges[j]) && !(m_bounds[j] < m_bounds[j - 1]);
    }
    // Slot j holds [m_bounds[j], m_bounds[j + 1]); the guess never falls with y, so its values
    // at the slot's lowest and highest double bound it for the whole slot. Slot 0 reaches down
    // and slot 255 up without end, where the clamped guess stays within one by itself.
    for (std::size_t j = 0; usable && j < kClasses; ++j) {
        const double lo = m_bounds[j];
        const double hi = m_bounds[j + 1];
        if (!(lo < hi)) {
            continue;  // an empty slot: no value to guess
        }
        if (j > 0 && Guess(lo) + 1 < j) {
            usable = false;
        }
        if (j + 1 < kClasses && Guess(std::nextafter(hi, -kInfinity)) > j + 1) {
            usable = false;
        }
    }
    m_guessed = usable;
    // A value y rounded to the single f lies within |f| 2^-23 + 2^-149 of it in any rounding
    // mode (a unit in the last place; 2^-149 below the normal range). Twice that, taken at the
    // largest |f| the slot can hold, also covers the rounding of the sums here.
    for (std::size_t j = 0; j < kClasses; ++j) {
        const double lo = m_bounds[j];
        const double hi = m_bounds[j + 1];
        const double magnitude = std::min(std::max(std::abs(lo), std::abs(hi)), std::abs(largest));
        const double reach = magnitude * 0x1p-22 + 0x1p-148;
        m_sure[2 * j] = lo + reach;
        m_sure[2 * j + 1] = hi - reach;
        if (!(m_sure[2 * j] < m_sure[2 * j + 1])) {
            m_sure[2 * j] = kInfinity;  // nothing is sure here (also for NaN)
            m_sure[2 * j + 1] = -kInfinity;
        }
    }
}

std::size_t DistributionClasses::Search(double y) const {
    for (std::size_t j = 0; j + 1 < kClasses; ++j) {
        if (y < m_bounds[j + 1]) {
            return j;
        }
    }
    return kClasses - 1;
}

}  // namespace ktx
