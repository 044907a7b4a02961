// SPDX-License-Identifier: GPL-3.0-or-later
// The processing commands of `ktx`: compress and cut, with the code the waveform view uses.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ktx {

// True for the commands RunViewCommand handles.
bool IsViewCommand(const std::string& command);

// `ktx compress FILE OUT --sample|--peak`: prints the factor.
// `ktx cut FILE OUT --from A --count N`: copies points A..A+N-1 (N at most 79 999).
// `args` are the arguments after the command name.
int RunViewCommand(const std::string& command, const std::vector<std::string>& args,
                   std::ostream& out, std::ostream& err);

}  // namespace ktx
