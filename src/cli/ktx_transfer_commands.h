// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform transfer commands of `ktx`: read (curves from the instrument into files, as
// "&Einlesen WF" does) and write (a ".wfm" file into a reference memory, as "&Ausgeben WF").
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace ktx {

struct KtxEnvironment;

// `command` is "read" or "write"; `options` hold the link options of RunLinkCommand and, for
// read, --format, --start, --stop, --sep, --dec, --eol. Returns the exit code.
int RunTransferCommand(const std::string& command, const std::vector<std::string>& positional,
                       const std::map<std::string, std::string>& options, const KtxEnvironment& env,
                       std::ostream& out, std::ostream& err);

}  // namespace ktx
