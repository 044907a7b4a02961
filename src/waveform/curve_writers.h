// SPDX-License-Identifier: GPL-3.0-or-later
// The formats the transfer writes besides .ktx: the FAMOS pair list (.fms), the column text
// tables (.txt with the user's separators, .xls with tab, CR LF and the decimal sign of the
// system), and the binary curve block an ASCII ".wfm" curve becomes before it is sent back to
// an instrument. Numbers in text are written in the 23-character scientific form. Every target
// is written beside itself and replaces the old file only when complete; a target that is a
// source of the operation, a FIFO or a device is refused (message 7).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "waveform/curve_preamble.h"

namespace ktx {

class Notifier;
class ProgressSink;
struct WaveformRecord;

struct TextSeparators {
    char column = ';';
    char line = '\n';  // 0: carriage return and line feed
    char decimal = ',';
};

// ".fms": x,y and a blank for every point of the ASCII raw curve in `source`, all on one line;
// x = (i - PT_OFF) * XINCR, y = (v - YOFF[0]) * YMULT[0], i from 1. A value that is no integer
// ends the file (false); a write error shows message 41.
bool WritePairList(const std::string& source, const std::string& target,
                   const CurvePreamble& preamble, Notifier& notifier, ProgressSink& progress);

// The integers of an ASCII raw curve (":CURVE " then values separated by "," or carriage return,
// at most 11 characters each) into `values`, at most `maxCount`. Returns how many were read, or
// -1 when the file cannot be read, is no curve or holds a value that is not an integer.
std::int64_t ParseCurve(const std::string& source, std::vector<std::int32_t>& values,
                        std::int64_t maxCount);

// ".txt" / ".xls": for i = 0 .. NR_PT - 1 one line of x = (i - PT_OFF) * XINCR and, per source
// k, (v(k, i) - YOFF[k]) * YMULT[k]. Rows stop at the shortest column. Open error: message 7;
// write error: message 8.
bool WriteColumns(const std::string& target, const std::vector<std::vector<std::int32_t>>& columns,
                  const CurvePreamble& preamble, const TextSeparators& separators,
                  Notifier& notifier, ProgressSink& progress);

// A waveform record's x (seconds) and y values as a two-column table (as WriteColumns) or as a
// pair list (as WritePairList).
bool WriteRecordColumns(const std::string& target, const WaveformRecord& record,
                        const TextSeparators& separators, Notifier& notifier);
bool WriteRecordPairList(const std::string& target, const WaveformRecord& record,
                         Notifier& notifier);
// The same from column `column` of the waveform file `source`, read as it is written, so a file
// of any size takes the same memory (`ktx export`). A source that is no waveform file shows
// message 12.
bool WriteWaveFileColumns(const std::string& source, int column, const std::string& target,
                          const TextSeparators& separators, Notifier& notifier);
bool WriteWaveFilePairList(const std::string& source, int column, const std::string& target,
                           Notifier& notifier);

// The binary block of an ASCII ".wfm" curve, for "DATA:ENC RIB": the first 7 source bytes,
// "#", the digit count and the byte count, then each value as one byte (its low byte,
// CurveToBlock1) or two bytes, less significant first (CurveToBlock2). A source of 8 bytes or
// fewer shows message 12 with its name; a write error message 41.
bool CurveToBlock1(const std::string& source, const std::string& target, Notifier& notifier);
bool CurveToBlock2(const std::string& source, const std::string& target, Notifier& notifier);

}  // namespace ktx
