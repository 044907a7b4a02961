// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the analysis results for their views: spectrum files (".fft", tag 2C 42) for the FFT
// view and math result files (".mth", tag 16 21) for the math view. Both have 30-byte records
// whose slots 1..4 hold four Real6 values; slot 0 is no time and is ignored. The views load the
// whole file once and never read it again, so a file changed or removed later does not change
// what a view shows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "waveform/wave_file.h"

namespace ktx {

// Each of a view's arrays holds at most 65526 bytes of 6-byte values.
constexpr std::int64_t kMaxResultRecords = 10921;

enum class ResultFault {
    None,
    BadFormat,  // not the expected tag or version: message 12
    TooLarge,   // more records than a view holds: message 11
};

struct ResultTable {
    ResultFault fault = ResultFault::None;
    UnitStrings units;
    std::vector<std::array<double, 4>> rows;  // slots 1..4 of each data record
};

// `layout` is WaveLayout::Spectrum or WaveLayout::Math. Never trusts the size: a buffer of any
// length and content gives a table or a fault.
ResultTable ParseResultFile(const std::uint8_t* data, std::size_t size, WaveLayout layout);

// The whole file read into memory (missing, unreadable or too large: empty with `ok` false).
struct FileBytes {
    bool ok = false;
    std::vector<std::uint8_t> bytes;
};
FileBytes ReadWholeFile(const std::string& path, std::uint64_t maxBytes);

// A result file from disk: its bytes (kept by the math view to save a copy) and its table. A
// file with the right header but too many records is TooLarge without being read whole.
struct LoadedResult {
    ResultTable table;
    std::vector<std::uint8_t> bytes;
};
LoadedResult LoadResultFile(const std::string& path, WaveLayout layout);

// --- spectrum ----------------------------------------------------------------------------------

// Distortion figures over all harmonics in the file (records 1..): K in percent =
// 100 sqrt(sum A^2 over 2.. / sum A^2 over 1..), THD = sqrt(sum A^2 over 2.. / A1^2). K is 0 when
// all amplitudes are 0; THD has no value (shown "---") when the fundamental's amplitude is 0.
struct Distortion {
    double kPercent = 0.0;
    std::optional<double> thd;
};
Distortion ComputeDistortion(const ResultTable& spectrum);

// The readout of the amplitude chart: "A0= " mean "  K= " K "%  THD=" THD.
std::string DistortionText(double mean, const std::string& unit, const Distortion& d);

// The table view's lines: "FFT- Tab", "", the column titles, "", then one line per record with
// its four values, each with its unit.
std::vector<std::string> SpectrumTableLines(const ResultTable& spectrum);

// --- math result -------------------------------------------------------------------------------

struct MathCurve {
    std::vector<double> x;  // slot 1: class edges
    std::vector<double> y;  // slot 2: counts
    std::string xUnit;      // unit slot 0
    std::string yUnit;      // unit slot 1 ("cnt" as the distribution writes it)
    double yMin = 0.0;
    double yMax = 0.0;
    std::int32_t zeroIndex = 0;  // first record with x >= 0 after one with x < 0
};
MathCurve MakeMathCurve(const ResultTable& table);

// The math view's two text lines for cursors c1, c2 (each limited to the records): value, x and
// the sum of the values between the cursors (both included); value, x and the x distance.
struct MathReadouts {
    std::string wertanz;
    std::string wertanz2;
};
MathReadouts ComputeMathReadouts(const MathCurve& curve, std::int32_t c1, std::int32_t c2);

}  // namespace ktx
