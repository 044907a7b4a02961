// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/fft_computation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "analysis/result_writer.h"
#include "config/notifier.h"
#include "config/profile_file.h"
#include "config/progress.h"
#include "waveform/real6.h"

namespace ktx {

namespace {

constexpr int kMsgBadFormat = 12;
constexpr double kDegreesPerRadian = 57.29577951308232;
// log10(e) as the level has always been computed with it.
constexpr double kLog10E = 0.43429;

double Sgn(double x) {
    return x < 0.0 ? -1.0 : 1.0;
}

}  // namespace

int HarmonicLimit(std::int64_t n) {
    return n < 200 ? static_cast<int>(n / 2) : kMaxHarmonics;
}

int ClampHarmonics(int harmonics, std::int64_t n) {
    return std::max(kMinHarmonics, std::min(harmonics, HarmonicLimit(n)));
}

Spectrum MakeSpectrum(const HarmonicSums& sums, std::int64_t n, double periodFrequency,
                      double phaseLimitDb) {
    Spectrum spectrum;
    const double dn = static_cast<double>(n);
    const double h = static_cast<double>(n / 2);
    spectrum.mean = sums.mean / dn;
    const std::size_t harmonics = sums.c.empty() ? 0 : sums.c.size() - 1;
    spectrum.lines.resize(harmonics);
    double a1 = 0.0;
    for (std::size_t k = 1; k <= harmonics; ++k) {
        SpectrumLine& line = spectrum.lines[k - 1];
        const double a = sums.c[k] / h;
        const double b = sums.s[k] / h;
        line.frequency = periodFrequency * static_cast<double>(k);
        line.amplitude = std::hypot(a, b);
        if (k == 1) {
            a1 = std::fabs(line.amplitude);
        }
        const double quadrant = 90.0 * (Sgn(b) - Sgn(a) * Sgn(b));
        const double base = a != 0.0 ? std::atan(b / a) : Sgn(b) * std::numbers::pi / 2.0;
        line.phase = base * kDegreesPerRadian + quadrant;
        // ln(A / A1) only where both are positive: a silent fundamental leaves nothing to relate
        // the harmonics to, a silent harmonic lies below any floor.
        if (a1 == 0.0) {
            line.level = 0.0;
        } else if (line.amplitude == 0.0) {
            line.level = kLevelFloor - 1.0;
        } else {
            line.level = 20.0 * kLog10E * std::log(std::fabs(line.amplitude) / a1);
        }
        if (line.level < phaseLimitDb) {
            line.phase = 0.0;
        }
        if (line.level < kLevelFloor) {
            line.amplitude = 0.0;
            line.level = kLevelFloor;
            line.phase = 0.0;
        }
    }
    return spectrum;
}

bool WriteSpectrumFile(const std::string& target, const std::string& unit, const Spectrum& spectrum,
                       const std::vector<std::string>& sources, Notifier& notifier) {
    const auto header =
        MakeHeader4(ReferenceHeader(WaveLayout::Spectrum), {"Hz", unit, "db", "grd"});
    ResultWriter out(target, notifier);
    if (!out.Begin(sources, header.data(), header.size())) {
        return false;
    }
    const auto record = [&](double f, double a, double l, double p) {
        std::uint8_t rec[kFourColumnRecord];
        // Slot 0 carries the tag and version again, not a time: readers ignore it.
        std::memcpy(rec, header.data(), 6);
        const double values[4] = {f, a, l, p};
        for (int i = 0; i < 4; ++i) {
            std::memcpy(rec + 6 + 6 * i, Real6::FromDouble(values[i]).bytes.data(), 6);
        }
        out.Write(rec, sizeof rec);
    };
    record(0.0, spectrum.mean, 0.0, 0.0);
    for (const SpectrumLine& line : spectrum.lines) {
        record(line.frequency, line.amplitude, line.level, line.phase);
    }
    return out.Commit();
}

std::uint64_t FftMemoryBudget(const std::string& iniFileName) {
    const int megabytes =
        ProfileFile(iniFileName)
            .ReadInt("FFT", "MEMORY", static_cast<int>(kDefaultFftMemoryBudget >> 20));
    return megabytes > 0 ? static_cast<std::uint64_t>(megabytes) << 20 : 0;
}

FftOutcome RunFft(const FftRequest& request, Notifier& notifier, ProgressSink& progress,
                  const KeepGoing& keepGoing) {
    FftOutcome outcome;
    const Period& period = request.period;
    if (!period.valid) {
        return outcome;
    }
    const std::int64_t n = period.n;
    const int harmonics = ClampHarmonics(request.harmonics, n);
    outcome.unit = request.layout.units[static_cast<std::size_t>(
        std::clamp(request.layout.layout == WaveLayout::OneColumn ? 0 : request.column, 0, 3))];

    SampleReader reader(request.source, request.layout, request.column);
    if (!reader.IsOpen()) {
        const FileError& e = reader.OpenError();
        ShowErrorMsgText(notifier, e.Message(), e.Text(), 0);
        return outcome;
    }
    if (period.start + n > request.layout.DataRecords() || !reader.SeekRecord(period.start)) {
        ShowErrorMsgText(notifier, kMsgBadFormat, request.source, 0);
        return outcome;
    }
    auto acc = MakeHarmonicAccumulator(n, harmonics, request.window, request.memoryBudget);
    outcome.streaming = acc->Streaming();

    // The streaming path works on every sample K times: smaller blocks keep "Abbruch" prompt.
    const std::size_t block = outcome.streaming ? 4096 : 65536;
    std::vector<double> values(block);
    std::vector<TimeField> times(block);
    TimeField first;
    TimeField last;
    std::int64_t done = 0;
    progress.BarStart(n);
    while (done < n) {
        if (keepGoing && !keepGoing()) {
            outcome.aborted = true;
            break;
        }
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(n - done, block));
        const std::size_t got = reader.Read(values.data(), times.data(), want);
        if (got > 0) {
            if (done == 0) {
                first = times[0];
            }
            last = times[got - 1];
            acc->Add(values.data(), got);
            done += static_cast<std::int64_t>(got);
        }
        if (got < want) {
            break;
        }
        progress.BarStep(n - done);
    }
    progress.BarEnd();
    if (outcome.aborted) {
        return outcome;
    }
    if (done < n) {
        ShowErrorMsgText(notifier, kMsgBadFormat, request.source, 0);
        return outcome;
    }
    // The span of N - 1 sample intervals, not N.
    const double span = TimeFieldToSeconds(last) - TimeFieldToSeconds(first);
    outcome.periodFrequency = span == 0.0 || request.unitFrequency ? 1.0 : 1.0 / span;
    outcome.spectrum =
        MakeSpectrum(acc->Finish(), n, outcome.periodFrequency, request.phaseLimitDb);
    outcome.ok = WriteSpectrumFile(request.target, outcome.unit, outcome.spectrum,
                                   request.protectedFiles, notifier);
    return outcome;
}

}  // namespace ktx
