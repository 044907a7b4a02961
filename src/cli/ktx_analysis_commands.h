// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis commands of `ktx`, with the code the FFT and math dialogs use:
//   ktx fft QUELLE ZIEL.fft [--harmonics K] [--window rect|hann|hamm|bh] [--start A --stop B]
//           [--column C] [--phase-limit DB]
//   ktx math diff|int|inv|smooth|hist QUELLE ZIEL [--factor F] [--start A --stop B] [--column C]
//   ktx math2 add|sub|mul|div QUELLE1 QUELLE2 ZIEL.ktx [--column1 C] [--column2 C]
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ktx {

// True for the commands RunAnalysisCommand handles.
bool IsAnalysisCommand(const std::string& command);

// `args` are the arguments after the command name; `programDir` holds kurvitex.ini with the
// memory the fast harmonic path may use.
int RunAnalysisCommand(const std::string& command, const std::vector<std::string>& args,
                       const std::string& programDir, std::ostream& out, std::ostream& err);

}  // namespace ktx
