// SPDX-License-Identifier: GPL-3.0-or-later
// Decimal prefix formatting of measured values.
#include "tools/format_with_prefix.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ktx {

int DecimalExponent(double value) {
    if (value == 0.0 || !std::isfinite(value)) {
        return 0;
    }
    // The exponent of the 15-digit scientific text, so 0.99999999999999999 counts as 1E0.
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14E", value);
    const char* e = std::strchr(buf, 'E');
    return e != nullptr ? std::atoi(e + 1) : 0;
}

std::string FormatWithPrefix(double value, const std::string& unit) {
    const int e = DecimalExponent(value);
    double scaled = value;
    const char* prefix = "";
    if (e >= 3) {
        // The table ends at G: larger values stay in G rather than losing their magnitude.
        const int steps = std::min(e / 3, 3);
        for (int i = 0; i < steps; ++i) {
            scaled *= 0.001;
        }
        static const char* const kLarge[] = {"", "k", "M", "G"};
        prefix = kLarge[steps];
    } else if (e < 0) {
        const int steps = std::min((-e - 1) / 3 + 1, 4);
        for (int i = 0; i < steps; ++i) {
            scaled *= 1000.0;
        }
        static const char* const kSmall[] = {"", "m", "u", "n", "p"};
        prefix = kSmall[steps];
    }
    // Every digit of the largest double in G (300 before the point) must fit: a text cut short
    // would lose its trailing zeros below and show 1E300 as "1G".
    char buf[320];
    std::snprintf(buf, sizeof buf, "%4.4f", scaled);
    std::string text = buf;
    // Trailing zeros, then a trailing point, go: 12.3000 -> 12.3, 500.0000 -> 500.
    while (!text.empty() && text.back() == '0') {
        text.pop_back();
    }
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    if (text.empty() || text == "-") {
        text += '0';
    }
    return text + prefix + unit;
}

}  // namespace ktx
