// SPDX-License-Identifier: GPL-3.0-or-later
// The FFT dialog's computation without the dialog: one value column of a waveform file, a chosen
// stretch of it taken as exactly one period, gives the mean value and harmonics 1..K, written as
// a spectrum file (".fft", tag 2C 42, 30-byte records):
//   header    tag, version 12.345, units "Hz", the source column's unit, "db", "grd"
//   record 0  slot 0 = the header's first six bytes, frequency 0, mean, level 0, phase 0
//   record k  slot 0 as above, k x period frequency, amplitude (peak), level in dB relative to
//             harmonic 1, phase in degrees
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/analysis_source.h"
#include "analysis/harmonics.h"

namespace ktx {

class Notifier;
class ProgressSink;

constexpr int kMinHarmonics = 10;
constexpr int kMaxHarmonics = 1000;
constexpr int kDefaultHarmonics = 32;
constexpr int kDefaultPhaseLimit = -30;  // dB
constexpr double kLevelFloor = -100.0;   // dB

// The largest harmonic count the dialog offers for N samples: N/2 below 200 samples, else 1000.
int HarmonicLimit(std::int64_t n);
// A requested count lowered to that limit and raised to the spin edit's minimum 10 (so K can
// exceed N/2 for N < 20).
int ClampHarmonics(int harmonics, std::int64_t n);

struct SpectrumLine {
    double frequency = 0.0;
    double amplitude = 0.0;
    double level = 0.0;  // dB relative to harmonic 1
    double phase = 0.0;  // degrees
};

struct Spectrum {
    double mean = 0.0;                // of the windowed samples
    std::vector<SpectrumLine> lines;  // harmonics 1..K
};

// Amplitudes, levels and phases from the sums of N samples. Level L = 20 x 0.43429 x
// ln(A / A1); a fundamental of amplitude 0 gives level 0 throughout (there is nothing to
// relate to), a harmonic of amplitude 0 or below -100 dB is written as amplitude 0, -100 dB,
// phase 0. A phase whose level lies below `phaseLimitDb` is written as 0.
Spectrum MakeSpectrum(const HarmonicSums& sums, std::int64_t n, double periodFrequency,
                      double phaseLimitDb);

// Writes the spectrum file through SafeFile; the target must not be one of `sources`. Messages
// on failure (7 for a target that is a source, 41 for a write error).
bool WriteSpectrumFile(const std::string& target, const std::string& unit, const Spectrum& spectrum,
                       const std::vector<std::string>& sources, Notifier& notifier);

struct FftRequest {
    std::string source;  // the file read (the effective source)
    SourceLayout layout;
    int column = 0;
    Period period;
    int harmonics = kDefaultHarmonics;
    FftWindow window = FftWindow::Rectangular;
    double phaseLimitDb = kDefaultPhaseLimit;
    bool unitFrequency = false;  // frequencies are harmonic numbers (ASCII ".wfm" sources)
    std::string target;
    std::vector<std::string> protectedFiles;  // the target may be none of these
    std::uint64_t memoryBudget = kDefaultFftMemoryBudget;
};

struct FftOutcome {
    bool ok = false;
    bool aborted = false;    // keepGoing said stop: nothing was written
    bool streaming = false;  // the streaming path was taken
    double periodFrequency = 1.0;
    std::string unit;
    Spectrum spectrum;
};

// The memory the fast path may use, from kurvitex.ini [FFT] MEMORY in megabytes (default 512;
// 0 or less makes every computation stream).
std::uint64_t FftMemoryBudget(const std::string& iniFileName);

// Reads the period, computes and writes. An invalid period computes nothing (no message, as the
// dialog only clears its labels). Progress: a bar over the N samples.
FftOutcome RunFft(const FftRequest& request, Notifier& notifier, ProgressSink& progress,
                  const KeepGoing& keepGoing = {});

}  // namespace ktx
