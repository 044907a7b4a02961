// SPDX-License-Identifier: GPL-3.0-or-later
// The logging commands of `ktx`: log (the data logger: measured values over time into a
// four-column file) and scan (the scanner: numbered curve files, one per interval or trigger).
// Both print progress on the error stream and stop cleanly on Ctrl+C, the files complete.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ktx {

struct KtxEnvironment;

bool IsLoggerCommand(const std::string& command);

// `args` are the command's arguments without its name. Returns the exit code.
int RunLoggerCommand(const std::string& command, const std::vector<std::string>& args,
                     const KtxEnvironment& env, std::ostream& out, std::ostream& err);

// Ends a running log or scan as Ctrl+C does (the handler calls it; so can a test's thread).
void RequestLoggerStop();

}  // namespace ktx
