// SPDX-License-Identifier: GPL-3.0-or-later
// The file commands of `ktx`: import (a foreign waveform file into a .ktx file) and export
// (a .ktx file into the text, Excel or FAMOS form).
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace ktx {

// `command` is "import" or "export"; returns the exit code.
int RunFileCommand(const std::string& command, const std::vector<std::string>& positional,
                   const std::map<std::string, std::string>& options, std::ostream& out,
                   std::ostream& err);

}  // namespace ktx
