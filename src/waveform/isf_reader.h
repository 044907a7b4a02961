// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument's internal save format (.isf): the answer to "WFMPRE?;CURVE?" stored as a file,
// a ";"-separated preamble followed by ":CURVE #dL" and L bytes of binary samples. Long
// (":WFMPRE:NR_PT") and abbreviated (":WFMP:NR_P") keys both occur. A file may hold several
// such records one after the other (one per saved source); bytes after the last whole record
// are ignored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "waveform/curve_preamble.h"
#include "waveform/import_result.h"

namespace ktx {

class Notifier;
class ProgressSink;

struct IsfPreamble {
    CurvePreamble curve;     // NR_PT, XINCR, PT_OFF, YOFF[0], YMULT[0]
    std::uint8_t flags = 0;  // curve format flags (kCurveMsbFirst ...), plus the byte count
    bool hasXZero = false;
    double xZero = 0.0;  // time of the first point, seconds
    double yZero = 0.0;  // volts added to every value
    // Exact values, so times do not pass through Real6 twice.
    double xIncr = 0.0;
    double ptOff = 0.0;
    double yOff = 0.0;
    double yMult = 0.0;
};

// Parses the preamble text (everything before "CUR"); false when a required key or its value
// is missing or does not convert.
bool ParseIsfPreamble(std::string_view text, IsfPreamble& out);

// Converts record `frame` (from 0) of `path` into a one-column waveform file `target`; the
// result tells how many records the file holds. A block longer than the file shows message 34.
ImportResult ReadIsf(const std::string& path, const std::string& target, Notifier& notifier,
                     ProgressSink& progress, std::int64_t frame = 0);

}  // namespace ktx
