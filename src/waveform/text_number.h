// SPDX-License-Identifier: GPL-3.0-or-later
// Number texts of the foreign formats: reading decimal reals as instruments print them
// ("400.0000E-6", "-2e-005", "+1.5", with blanks around), and the 23-character scientific form
// the text and FAMOS writers use (" 1.00000000000000E+0000").
#pragma once

#include <cstddef>
#include <string_view>

namespace ktx {

// A finite real with optional sign, blanks and a trailing carriage return around it; `comma`
// lets "," stand for the decimal point. False for anything else.
bool ParseReal(std::string_view text, double& value, bool comma = false);

// A decimal integer with optional sign and blanks around it.
bool ParseInteger(std::string_view text, long long& value);

constexpr std::size_t kSci23Width = 23;
// Writes the 23-character form (sign or blank, one digit, the decimal character, 14 digits,
// "E", exponent sign, 4 digits) at `out`, which must hold kSci23Width characters; returns the
// end. Non-finite values are written as the largest magnitude of their sign.
char* FormatSci23(char* out, double value, char decimal = '.');

}  // namespace ktx
