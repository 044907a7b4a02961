// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/text_number.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace ktx {

namespace {

std::string_view Trim(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) {
        t.remove_prefix(1);
    }
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t' || t.back() == '\r')) {
        t.remove_suffix(1);
    }
    return t;
}

}  // namespace

bool ParseReal(std::string_view text, double& value, bool comma) {
    text = Trim(text);
    // Longer than any real an instrument prints; also bounds the copy below.
    constexpr std::size_t kMaxChars = 64;
    if (text.empty() || text.size() > kMaxChars) {
        return false;
    }
    char buf[kMaxChars];
    std::size_t n = 0;
    bool negative = false;
    std::size_t at = 0;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        at = 1;
    }
    for (; at < text.size(); ++at) {
        const char c = text[at];
        buf[n++] = (comma && c == ',') ? '.' : c;
    }
    if (n == 0 || buf[0] == '+' || buf[0] == '-') {
        return false;
    }
    double v = 0;
    const auto [end, ec] = std::from_chars(buf, buf + n, v);
    if (ec != std::errc() || end != buf + n || !std::isfinite(v)) {
        return false;
    }
    value = negative ? -v : v;
    return true;
}

bool ParseInteger(std::string_view text, long long& value) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

char* FormatSci23(char* out, double value, char decimal) {
    if (!std::isfinite(value)) {
        value = std::signbit(value) ? -std::numeric_limits<double>::max()
                                    : std::numeric_limits<double>::max();
    }
    // "d.dddddddddddddde+XX" from to_chars, then the exponent widened to four digits.
    char buf[32];
    const double mag = std::fabs(value);
    const auto r = std::to_chars(buf, buf + sizeof buf, mag, std::chars_format::scientific, 14);
    // r.ptr - buf is at least 20: "d." + 14 digits + "e" + sign + 2 digits.
    const char* e =
        static_cast<const char*>(std::memchr(buf, 'e', static_cast<std::size_t>(r.ptr - buf)));
    *out++ = std::signbit(value) && mag != 0.0 ? '-' : ' ';
    *out++ = buf[0];
    *out++ = decimal;
    std::memcpy(out, buf + 2, 14);
    out += 14;
    *out++ = 'E';
    *out++ = e[1];
    const char* digits = e + 2;
    const auto nd = static_cast<std::size_t>(r.ptr - digits);
    for (std::size_t k = nd; k < 4; ++k) {
        *out++ = '0';
    }
    std::memcpy(out, digits, nd);
    return out + nd;
}

}  // namespace ktx
