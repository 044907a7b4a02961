// SPDX-License-Identifier: GPL-3.0-or-later
// The set-up and batch conversion commands of `ktx`:
//   ktx setup read ZIEL.set [VERBINDUNG]     the instrument's set-up into a file
//   ktx setup write QUELLE.set [VERBINDUNG]  a stored set-up back into the instrument
//   ktx convert --to ktx|txt|xls|fms [--from isf|wfm|csv|txt|ktx|fft] QUELLE... [--dir ORDNER]
//               [--sep ZEICHEN] [--dec ZEICHEN] [--eol lf|crlf|cr]
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace ktx {

struct KtxEnvironment;

bool IsSetupCommand(const std::string& command);

int RunSetupCommand(const std::string& command, const std::vector<std::string>& positional,
                    const std::map<std::string, std::string>& options, const KtxEnvironment& env,
                    std::ostream& out, std::ostream& err);

}  // namespace ktx
