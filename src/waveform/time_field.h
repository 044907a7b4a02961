// SPDX-License-Identifier: GPL-3.0-or-later
// The 6-byte x value of every waveform record: hours (byte 0), minutes (byte 1) and seconds as
// a little-endian IEEE single (bytes 2..5). Its value is hours*3600 + minutes*60 + seconds.
// Oscilloscope curves keep both integer bytes 0; long recordings use hours and minutes.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace ktx {

struct TimeField {
    std::array<std::uint8_t, 6> bytes{};

    std::uint8_t Hours() const { return bytes[0]; }
    std::uint8_t Minutes() const { return bytes[1]; }
    float Seconds() const {
        std::uint32_t bits = std::uint32_t{bytes[2]} | std::uint32_t{bytes[3]} << 8 |
                             std::uint32_t{bytes[4]} << 16 | std::uint32_t{bytes[5]} << 24;
        float s;
        std::memcpy(&s, &bits, sizeof s);
        return s;
    }
    static TimeField Make(std::uint8_t hours, std::uint8_t minutes, float seconds) {
        TimeField t;
        t.bytes[0] = hours;
        t.bytes[1] = minutes;
        std::uint32_t bits;
        std::memcpy(&bits, &seconds, sizeof bits);
        for (int i = 0; i < 4; ++i) {
            t.bytes[2 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
        }
        return t;
    }

    friend bool operator==(const TimeField&, const TimeField&) = default;
};

static_assert(sizeof(TimeField) == 6);

// Splits into hours, minutes and seconds, truncating toward zero. Times the two bytes cannot
// hold keep their value in the seconds field instead of wrapping: negative times of one minute
// and more are stored as 0 h, 0 min and the seconds; from 256 hours on the hours stay 255 and
// the minutes and seconds carry the rest.
TimeField SecondsToTimeField(double seconds);
namespace detail {
TimeField SecondsToTimeFieldSlow(double seconds);
}
inline TimeField SecondsToTimeField(double seconds) {
    // Oscilloscope curves nearly always land here; spare them the divisions.
    if (seconds > -60.0 && seconds < 60.0) {
        return TimeField::Make(0, 0, static_cast<float>(seconds));
    }
    return detail::SecondsToTimeFieldSlow(seconds);
}

// hours*3600 + minutes*60 + seconds, rounded through Real6 as the files' readers do.
double TimeFieldToSeconds(const TimeField& t);

// Point numbers of sample-index files. 24 h and more give an all-zero field.
TimeField MillisecondsToTimeField(std::int32_t ms);
// hours*3600000 + minutes*60000 + seconds*1000 rounded to nearest.
std::int32_t TimeFieldToMilliseconds(const TimeField& t);

// "HH:MM:S.SSSS": hours and minutes two digits wide, seconds with 4 decimals (no leading zero).
std::string FormatTimeHMS(const TimeField& t);
// "HH:MM:".
std::string FormatTimeHM(const TimeField& t);
// The seconds field alone with 2 decimals.
std::string FormatSeconds(const TimeField& t);

}  // namespace ktx
