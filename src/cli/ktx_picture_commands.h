// SPDX-License-Identifier: GPL-3.0-or-later
// The screen picture commands of `ktx`: hardcopy (fetch the instrument's screen picture as
// the main window does) and picture (decode a PCX, BMP or PNG file and write it as BMP or PNG).
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace ktx {

struct KtxEnvironment;

bool IsPictureCommand(const std::string& command);

int RunPictureCommand(const std::string& command, const std::vector<std::string>& positional,
                      const std::map<std::string, std::string>& options, const KtxEnvironment& env,
                      std::ostream& out, std::ostream& err);

}  // namespace ktx
