// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of the shared save dialog and the channel choice, without the dialogs.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "waveform/wave_file.h"

namespace ktx {

// "Description|*.ext|Description|*.ext" as pairs of description and mask.
std::vector<std::pair<std::string, std::string>> ParseFilter(const std::string& filter);

// The name the save dialog hands back: the typed name in `folder` (a typed absolute path keeps
// its own folder), its extension replaced by the mask's (characters 2 to 5 of "*.KTX"), the file
// name upper-cased. Only the file name: on file systems that tell case apart, upper-casing the
// folder would name another, usually missing, folder.
std::string ResolveSaveName(const std::string& folder, const std::string& typed,
                            const std::string& mask);

// What the save dialog does with a resolved name.
enum class SaveCheck {
    Accept,
    InvalidName,  // contains "*": message 42
    Exists,       // ask with message 306 before overwriting
};
SaveCheck CheckSaveName(const std::string& name);

// The channel the channel dialog preselects: the first whose unit is not "#"; -1 when none is.
int FirstPresentChannel(const UnitStrings& units);

}  // namespace ktx
