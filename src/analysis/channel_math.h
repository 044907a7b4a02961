// SPDX-License-Identifier: GPL-3.0-or-later
// One-channel math without the dialog: one value column of a waveform file over a period of N
// samples, streamed record by record. Differentiation, integration, inversion and smoothing
// write a one-column waveform file (tag 21 16, the source header's version); the frequency
// distribution writes a math result file (".mth", tag 16 21, 30-byte records) of 256 classes:
//   header    units: the source column's unit, "cnt", "#", "#"
//   record i  slot 0 = the header's first six bytes, class edge e[i], count of class i, 0, 0
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/analysis_source.h"
#include "analysis/harmonics.h"

namespace ktx {

class Notifier;
class ProgressSink;

// The items of the dialog's "Funktion" group, index 0..4.
enum class MathFunction {
    Differentiate = 0,
    Integrate = 1,
    Invert = 2,
    Distribution = 3,
    Smooth = 4
};

constexpr int kMinSmoothing = 3;
constexpr int kMaxSmoothing = 99;
constexpr int kDefaultSmoothing = 5;
constexpr int kDistributionClasses = 256;
// What a division by zero gives (with the sign of the dividend), and the limit of the
// two-channel results.
constexpr double kDivisionLimit = 1.7e37;

// The smoothing factor as the spin edit keeps it: odd, 3..99 (an even value is lowered by 1).
int ClampSmoothing(int factor);

// The unit of the result column: the source unit followed by "/s" (derivative) or "*s"
// (integral), cut to 4 characters like every unit; unchanged for inversion and smoothing, and
// the source unit for the distribution's x column.
std::string ResultUnit(MathFunction function, const std::string& sourceUnit);

// ".MTH" for the distribution, ".KTX" for the others.
std::string ResultExtension(MathFunction function);

struct MathRequest {
    std::string source;  // the file read (the effective source)
    SourceLayout layout;
    int column = 0;
    Period period;
    MathFunction function = MathFunction::Differentiate;
    int smoothing = kDefaultSmoothing;
    std::string target;
    std::vector<std::string> protectedFiles;  // the target may be none of these
    // The frequency distribution keeps the period's values (8 bytes a sample) in memory for its
    // second pass when they fit this many bytes, and reads the file twice otherwise.
    std::uint64_t memoryBudget = kDefaultFftMemoryBudget;
};

struct MathOutcome {
    bool ok = false;
    bool aborted = false;      // keepGoing said stop: the old target is left as it was
    std::int64_t records = 0;  // data records written
};

// Runs the function. Failures show their message: 12 for a target with the wrong extension
// (".KTX" / ".MTH") or a source shorter than the period, 14 for a smoothing over fewer samples
// than the factor, 7 for a target that is a source, 41 for a write error. An invalid period
// computes nothing.
MathOutcome RunMath(const MathRequest& request, Notifier& notifier, ProgressSink& progress,
                    const KeepGoing& keepGoing = {});

// The class edges of the frequency distribution for samples between `min` and `max`:
// width w = (max - min) / 255 (1 for a constant source), k0 = floor(min / w),
// e[i] = w k0 + w (i + 1).
std::array<double, kDistributionClasses> DistributionEdges(double min, double max);
// The class of `y`: the first j in 0..254 with y < e[j + 1]; -1 when y is not below e[255].
int DistributionClass(const std::array<double, kDistributionClasses>& edges, double y);

}  // namespace ktx
