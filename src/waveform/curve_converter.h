// SPDX-License-Identifier: GPL-3.0-or-later
// Turns a raw instrument curve (the answer to "CURV?" stored unchanged, with headers on, so it
// begins with ":CURVE ") into a one-column waveform file.
//
// Point i, counted from 1, with raw level v: x = (i - PT_OFF) * XINCR seconds,
// y = (v - YOFF[0]) * YMULT[0]. Progress goes to the counter display: start after the header,
// the number of completed 1024-point blocks after each block, end when the files are closed.
// The target is written beside itself and replaces the old one only when the whole curve
// converted: after any failure it keeps what it held. A target that cannot be written shows
// message 7 or 41; every other failure is returned to the caller, who reports it.
#pragma once

#include <cstdint>
#include <string>

#include "waveform/curve_preamble.h"

namespace ktx {

class Notifier;
class ProgressSink;

// Format flags of binary curves.
constexpr std::uint8_t kCurveMsbFirst = 0x80;    // more significant byte first
constexpr std::uint8_t kCurveSignedByte = 0x20;  // one-byte samples are signed (two's complement)
constexpr std::uint8_t kCurveWidthMask = 0x0F;   // 1 = one byte per sample, else two
// What the instrument transfer asks for with "DATA:ENC RIB" and "DATA:WID 2".
constexpr std::uint8_t kCurveFlagsRib2 = 0xA2;

enum class CurveError {
    None,
    SourceOpen,      // the raw curve file cannot be read
    SourceTooShort,  // (sample-index conversion) 8 bytes or fewer; message 12 was shown
    NoCurveHeader,   // does not start with ":CURVE" (":CUR" before a binary block)
    BadCount,        // the block's length digits are not a decimal count
    BadValue,        // an ASCII value is not a decimal integer
    ValueTooLong,    // 10 characters without a separator
    Truncated,       // the file ends inside the announced block
    TargetCreate,    // the target is refused or cannot be made; message 7 or 41 was shown
    Write,           // a write to the target failed; message 41 was shown
};

struct CurveResult {
    CurveError error = CurveError::None;
    std::int64_t points = 0;  // data records in the target (0 after a failure)

    bool Ok() const { return error == CurveError::None; }
};

CurveResult ConvertAsciiCurve(const std::string& source, const std::string& target,
                              const CurvePreamble& preamble, Notifier& notifier,
                              ProgressSink& progress);

CurveResult ConvertBinaryCurve(const std::string& source, const std::string& target,
                               const CurvePreamble& preamble, std::uint8_t flags,
                               Notifier& notifier, ProgressSink& progress);

// A sample-index file (version 13.345, unit "Px") from an ASCII curve without preamble:
// x of point i is i milliseconds, y is the raw level.
CurveResult ConvertRawCurve(const std::string& source, const std::string& target,
                            Notifier& notifier, ProgressSink& progress);

}  // namespace ktx
