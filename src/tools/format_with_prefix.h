// SPDX-License-Identifier: GPL-3.0-or-later
// A measured value as short text with a decimal prefix letter and its unit ("12.3mV", "1.5kHz"),
// shared by the views, the measurement dialog, the data logger and the multimeter dialogs.
#pragma once

#include <string>

namespace ktx {

// The value scaled to k, M, G or m, u (micro), n, p, with at most 4 decimals and no trailing
// zeros, directly followed by the prefix and `unit`. Values of 1E12 and more stay in G and those
// below 1E-12 in p, so the text never claims a prefix it does not show.
std::string FormatWithPrefix(double value, const std::string& unit);

// The decimal exponent the prefix is chosen by: floor(log10 |value|), except that a value that
// rounds up to the next power of ten at 15 significant digits takes the higher exponent; 0 for 0.
int DecimalExponent(double value);

}  // namespace ktx
