// SPDX-License-Identifier: GPL-3.0-or-later
// Two-channel math without the dialog: one value column of each of two waveform files combined
// point by point (paired by record number, not by time) into a one-column waveform file:
//   header   tag 21 16, the version of source 1, the unit of source 1 (sum, difference) or
//            unit 1, the operator and unit 2 cut to 4 characters (product, quotient: "V*A")
//   records  the time field of source 2's record, the result limited to +-1.7E37
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/analysis_source.h"

namespace ktx {

class Notifier;
class ProgressSink;

// The items of the dialog's "Funktion" group: "CH1 + CH2", "CH1 - CH2", "CH1 * CH2",
// "CH1 / CH2".
enum class Math2Function { Add = 0, Subtract = 1, Multiply = 2, Divide = 3 };

struct Math2Source {
    std::string file;  // the file read (the effective source)
    SourceLayout layout;
    int column = 0;

    const std::string& Unit() const;
};

// The result's unit.
std::string Math2Unit(Math2Function function, const std::string& unit1, const std::string& unit2);
// a op b, limited to +-1.7E37; a quotient by 0 gives 1.7E37.
double Math2Value(Math2Function function, double a, double b);

struct Math2Request {
    Math2Source source1;
    Math2Source source2;
    Math2Function function = Math2Function::Add;
    std::string target;
    std::vector<std::string> protectedFiles;  // the target may be none of these
};

struct Math2Outcome {
    bool ok = false;
    bool aborted = false;
    bool lengthsDiffer = false;  // message 309 was shown; the result covers the shorter source
    std::int64_t records = 0;
};

// Message 309 (information) for sources of different lengths, 12 for a target without the
// ".KTX" extension, 7 for a target that is a source, 41 for a write error.
Math2Outcome RunMath2(const Math2Request& request, Notifier& notifier, ProgressSink& progress,
                      const KeepGoing& keepGoing = {});

}  // namespace ktx
