// SPDX-License-Identifier: GPL-3.0-or-later
// The `ktx` command line tool: checking and converting waveform files without a window.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ktx {

// Exit codes of `ktx`.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct KtxEnvironment {
    std::string programDir;  // the program folder: kurvitex.ini and the interface libraries
};

// Runs `ktx` with `args` (without the program name). Results go to `out`, messages (German,
// from the message catalogue) to `err`.
int RunKtx(const std::vector<std::string>& args, const KtxEnvironment& env, std::ostream& out,
           std::ostream& err);

}  // namespace ktx
