// SPDX-License-Identifier: GPL-3.0-or-later
// Number texts of the command language: NR1 and NR3 output, tolerant integer input.
#include "number_format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace ktx::sim {

std::string FormatNr1(std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string FormatNr3(double value) {
    if (!std::isfinite(value)) {
        // The instruments answer 9.9E37 when they have no valid value.
        return "9.9E37";
    }
    if (value == 0.0) {
        return "0.0E0";
    }
    char buffer[48];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t e = text.find('e');
    std::string mantissa(text.substr(0, e));
    if (mantissa.find('.') == std::string::npos) {
        mantissa += ".0";  // the instruments always print a fraction: "4.0E-6", never "4E-6"
    }
    int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
    return mantissa + "E" + std::to_string(exponent);
}

std::optional<std::int64_t> ParseInteger(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    if (text.empty() || text.size() > 40) {
        return std::nullopt;
    }
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(value) || std::fabs(value) > 9.0e15) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(std::llround(value));
}

}  // namespace ktx::sim
