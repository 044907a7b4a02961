// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/time_field.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "waveform/real6.h"

namespace ktx {

TimeField detail::SecondsToTimeFieldSlow(double t) {
    if (!(t >= 0.0)) {  // negative (or NaN): the bytes are unsigned, keep it all in seconds
        return TimeField::Make(0, 0, static_cast<float>(t));
    }
    double hours = std::trunc(t / 3600.0);
    if (hours > 255.0) {
        const double rest = t - 255.0 * 3600.0;
        const double minutes = std::min(255.0, std::trunc(rest / 60.0));
        return TimeField::Make(255, static_cast<std::uint8_t>(minutes),
                               static_cast<float>(rest - minutes * 60.0));
    }
    const double minutes = std::trunc((t - hours * 3600.0) / 60.0);
    const double seconds = t - std::trunc(t / 60.0) * 60.0;
    return TimeField::Make(static_cast<std::uint8_t>(hours), static_cast<std::uint8_t>(minutes),
                           static_cast<float>(seconds));
}

double TimeFieldToSeconds(const TimeField& t) {
    const double s = t.Hours() * 3600.0 + t.Minutes() * 60.0 + static_cast<double>(t.Seconds());
    return Real6::FromDouble(s).ToDouble();
}

TimeField MillisecondsToTimeField(std::int32_t ms) {
    if (ms >= 86'400'000) {
        return TimeField{};
    }
    if (ms < 0) {
        return TimeField::Make(0, 0, static_cast<float>(ms * 0.001));
    }
    const std::int32_t hours = ms / 3'600'000;
    const std::int32_t r = ms % 3'600'000;
    const std::int32_t minutes = r / 60'000;
    const float seconds = r == 0 ? 0.0f : static_cast<float>((r % 60'000) * 0.001);
    return TimeField::Make(static_cast<std::uint8_t>(hours), static_cast<std::uint8_t>(minutes),
                           seconds);
}

std::int32_t TimeFieldToMilliseconds(const TimeField& t) {
    const double ms = t.Hours() * 3'600'000.0 + t.Minutes() * 60'000.0 +
                      std::round(static_cast<double>(t.Seconds()) * 1000.0);
    if (!(ms > -2147483648.0 && ms < 2147483647.0)) {  // NaN or a seconds field out of range
        return ms > 0 ? 2147483647 : (ms < 0 ? -2147483647 - 1 : 0);
    }
    return static_cast<std::int32_t>(ms);
}

namespace {

// Width 2 with its leading blank replaced by "0", as Pascal's Str(v:2) followed by that repair.
std::string TwoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%2d", v);
    std::string s(buf);
    if (const auto pos = s.find(' '); pos != std::string::npos) {
        s[pos] = '0';
    }
    return s;
}

std::string FixedWidth2(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%2.*f", decimals, v);
    std::string s(buf);
    if (const auto pos = s.find(' '); pos != std::string::npos) {
        s[pos] = '0';
    }
    return s;
}

}  // namespace

std::string FormatTimeHM(const TimeField& t) {
    return TwoDigits(t.Hours()) + ":" + TwoDigits(t.Minutes()) + ":";
}

std::string FormatTimeHMS(const TimeField& t) {
    return FormatTimeHM(t) + FixedWidth2(t.Seconds(), 4);
}

std::string FormatSeconds(const TimeField& t) {
    return FixedWidth2(t.Seconds(), 2);
}

}  // namespace ktx
